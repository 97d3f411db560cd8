// What enumeration must give for a registry script: a plain, independent
// reading of the rules, for fault injection and fuzzing to check against.
#pragma once

#include "camera_info.h"
#include "support/scripted_registry.h"

namespace camera_info {

CameraList expectedCameras(const RegistryScript& script);

// extractIdAfter read plainly: scan for the marker, then take units up to "&".
std::u16string referenceIdAfter(const std::u16string& displayName, const std::u16string& marker);

}  // namespace camera_info

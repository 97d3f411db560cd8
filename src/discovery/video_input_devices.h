// Lists the video input devices of a device registry as camera records.
#pragma once

#include <cstdint>
#include <string>

#include "camera_info.h"
#include "discovery/device_registry.h"

namespace camera_info {

// Appends one record per describable device of the platform's own registry
// and returns how many it appended. Never clears `cameras`.
std::int32_t listVideoInputDevices(CameraList& cameras);

// The same rules over any registry.
std::int32_t listVideoInputDevices(DeviceRegistry& registry, CameraList& cameras);

// The text that follows the first `marker` in `displayName`, up to the next
// "&" or the end; empty when the marker does not occur. Case-sensitive.
std::u16string extractIdAfter(const std::u16string& displayName, const std::u16string& marker);

// The name as it comes out of the fixed 255-unit name buffer: cut at the
// first NUL and to at most 254 units. A name the buffer cut never ends in a
// high surrogate, which could only be half a character once what followed it
// is gone.
std::u16string nameFromPropertyText(const std::u16string& text);

}  // namespace camera_info

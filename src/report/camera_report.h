// The camera report: the JSON document of the records, and the
// "CameraInfo.txt" file it is written to.
#pragma once

#include <cstdint>

#include <json/value.h>

#include "camera_info.h"

namespace camera_info {

// The report document for the first `count` records: the null value when
// count is 0 or less, else an array of {"name","vid","pid"} objects.
Json::Value buildCameraReport(const CameraList& cameras, std::int32_t count);

// Writes the styled text of `document` to "CameraInfo.txt" in the current
// directory, replacing whatever stood there. Failures are silent by design.
void writeCameraReport(const Json::Value& document);

}  // namespace camera_info

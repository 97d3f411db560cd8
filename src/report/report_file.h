// The "CameraInfo.txt" file: in which order the report gets to its place,
// and what a failure leaves behind.
#pragma once

#include <json/value.h>

namespace camera_info {

// The report text of `document` in binary mode, made whole beside `path`
// and then put in its place; streamed to a FIFO that stands there; written
// in place into a file that stands there only where nothing new can be
// made. A report that cannot be completed leaves no file under `path`.
// Returns whether every byte reached its place.
bool writeReportFile(const char* path, const Json::Value& document);

}  // namespace camera_info

// The camera report: UTF-8 conversion, the JSON document, its styled text and
// the "CameraInfo.txt" file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <json/value.h>

#include "camera_info.h"

// UTF-8 bytes of one UTF-16 field. On Windows this is the platform's own
// conversion; elsewhere an equivalent that gives the same bytes.
std::string toUtf8(const std::u16string& text);

// The report document for the first `count` records: the null value when
// count is 0 or less, else an array of {"name","vid","pid"} objects.
Json::Value buildCameraReport(const CameraList& cameras, std::int32_t count);

// The report text: the library's styled layout (three-space indentation,
// raw UTF-8, capital hex digits in \u escapes) ending in a line feed.
std::string toStyledText(const Json::Value& document);

// Writes the same text to `file` a piece at a time as it is made, so that no
// copy of a whole large report is ever held. Returns whether every byte was
// written.
bool writeStyledText(const Json::Value& document, std::FILE* file);

// Writes the styled text of `document` to "CameraInfo.txt" in the current
// directory, replacing whatever stood there. Failures are silent by design.
void writeCameraReport(const Json::Value& document);

// The file part of writeCameraReport: the report text of `document` in
// binary mode, made whole under a name of its own beside `path` and then put
// in its place; streamed to a FIFO that stands there; written in place into
// a file that stands there only where nothing new can be made. A report that
// cannot be completed leaves no file under `path`. Returns whether every byte
// reached its place.
bool writeReportFile(const char* path, const Json::Value& document);

// The report's text: the JSON library's styled layout, written by hand.
#pragma once

#include <cstdio>
#include <string>

#include <json/value.h>

namespace camera_info {

// Three-space indentation, raw UTF-8, capital hex digits in \u escapes,
// ending in a line feed.
std::string toStyledText(const Json::Value& document);

// Writes the same text to `file` a piece at a time as it is made, so that no
// copy of a whole large report is ever held. Returns whether every byte was
// written.
bool writeStyledText(const Json::Value& document, std::FILE* file);

}  // namespace camera_info

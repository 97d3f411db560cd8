// The JSON library's own view of a report, for checking the report's text.
#pragma once

#include <string>

#include <json/value.h>

namespace camera_info {

// The library's stream writer with three-space indentation and raw UTF-8,
// plus the report's final line feed. It differs from the report's text only
// in writing \u escapes with lowercase hex digits.
std::string libraryStyledText(const Json::Value& document);

// `text` with the hex digits of every \u escape in lowercase.
std::string lowercaseUnicodeEscapes(std::string text);

// Parses `text` with the library's reader; false when it is not JSON.
bool parseReport(const std::string& text, Json::Value& parsed, std::string* errors = nullptr);

}  // namespace camera_info

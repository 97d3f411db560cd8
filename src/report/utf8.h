// The report's UTF-8 conversion of one UTF-16 field.
#pragma once

#include <string>

namespace camera_info {

// On Windows this is the platform's own conversion; elsewhere an equivalent
// that gives the same bytes.
std::string toUtf8(const std::u16string& text);

}  // namespace camera_info

// toUtf8 through the platform's own conversion.
#include "report/utf8.h"

#include <windows.h>

#include <climits>

namespace camera_info {

std::string toUtf8(const std::u16string& text) {
    // The text goes with its exact length, so no terminator is converted.
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = text.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    const int written = WideCharToMultiByte(CP_UTF8, 0, wide, units, &bytes[0], size, nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return bytes;
}

}  // namespace camera_info

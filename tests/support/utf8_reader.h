// An independent reading of UTF-8 and UTF-16, for checking the project's
// conversions against something other than themselves.
#pragma once

#include <optional>
#include <string>

namespace camera_info {

// The code points of well-formed UTF-8, or none when any byte is out of
// place. Written from the encoding's definition: each sequence's value must
// need exactly its length, and no value is a surrogate or past U+10FFFF.
inline std::optional<std::u32string> strictUtf8CodePoints(const std::string& bytes) {
    std::u32string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned b0 = static_cast<unsigned char>(bytes[i]);
        std::size_t length;
        char32_t value;
        if (b0 < 0x80)
            length = 1, value = b0;
        else if ((b0 >> 5) == 0x6)
            length = 2, value = b0 & 0x1F;
        else if ((b0 >> 4) == 0xE)
            length = 3, value = b0 & 0x0F;
        else if ((b0 >> 3) == 0x1E)
            length = 4, value = b0 & 0x07;
        else
            return std::nullopt;
        if (i + length > bytes.size()) return std::nullopt;
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned b = static_cast<unsigned char>(bytes[i + k]);
            if ((b >> 6) != 0x2) return std::nullopt;
            value = (value << 6) | (b & 0x3F);
        }
        static const char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
        out += value;
        i += length;
    }
    return out;
}

// The code points UTF-16 text stands for; an unpaired surrogate stands for
// U+FFFD, as a conversion with no better choice writes it.
inline std::u32string codePointsOf(const std::u16string& text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        const bool high = unit >= 0xD800 && unit < 0xDC00;
        if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            out += static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            out += unit >= 0xD800 && unit < 0xE000 ? char32_t(0xFFFD) : unit;
        }
    }
    return out;
}

}  // namespace camera_info

// Random UTF-16 text for conversion tests, surrogates drawn often so that
// pairs, lone halves and their mixes all occur.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace camera_info {

inline std::vector<std::u16string> randomTexts(int count = 2000) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> kind(0, 3);
    std::vector<std::u16string> texts;
    for (int round = 0; round < count; ++round) {
        std::u16string text;
        for (int i = length(random); i > 0; --i) {
            const int k = kind(random);
            const unsigned base = k == 0 ? 0x0000 : k == 1 ? 0xD800 : k == 2 ? 0xDC00 : 0x0080;
            const unsigned span = k == 3 ? 0xFF80 : k == 0 ? 0x80 : 0x400;
            text += static_cast<char16_t>(base + random() % span);
        }
        texts.push_back(text);
    }
    return texts;
}

}  // namespace camera_info

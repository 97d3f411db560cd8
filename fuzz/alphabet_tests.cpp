// The fuzz targets' alphabets: every unit in them can be drawn, and the
// units the targets exist for (NUL, the halves of a surrogate pair) are there.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>

#include "alphabets.h"
#include "fuzz_input.h"

namespace {

// Every unit that FuzzInput::text can draw from `alphabet` as a one-unit text.
std::set<char16_t> drawable(const std::u16string& alphabet) {
    std::set<char16_t> units;
    for (unsigned pick = 0; pick < 0xE0; ++pick) {
        const std::uint8_t bytes[] = {1, 0, static_cast<std::uint8_t>(pick)};  // length 1, then the pick
        FuzzInput input(bytes, sizeof bytes);
        const std::u16string text = input.text(alphabet, 8);
        EXPECT_EQ(text.size(), 1u);
        if (!text.empty()) units.insert(text[0]);
    }
    return units;
}

TEST(FuzzAlphabets, EveryUnitCanBeDrawn) {
    const struct {
        const char* target;
        std::u16string alphabet;
        std::u16string wanted;
    } cases[] = {
        {"enumeration", enumerationAlphabet(), unitsOf(u"\0\xD83D\xDCF7&")},
        {"extract", extractAlphabet(), unitsOf(u"\0&vid_p")},
        {"report", reportAlphabet(), unitsOf(u"\0\"\\\x1f\xD83D\xDCF7")},
    };
    for (const auto& c : cases) {
        const std::set<char16_t> drawn = drawable(c.alphabet);
        EXPECT_EQ(drawn, std::set<char16_t>(c.alphabet.begin(), c.alphabet.end())) << c.target;
        for (char16_t unit : c.wanted) EXPECT_EQ(drawn.count(unit), 1u) << c.target << ": unit " << unsigned(unit);
    }
}

}  // namespace

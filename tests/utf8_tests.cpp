// UTF-16 -> UTF-8 of the report (toUtf8, the platform's conversion where there
// is one) and of the project's own conversions, held to the same bytes.
#include <gtest/gtest.h>

#include <random>

#include "camera_report.h"
#include "utf.h"

namespace {

struct EncodeCase {
    const char* what;
    std::u16string text;
    std::string bytes;
};

const EncodeCase kEncodeCases[] = {
    {"empty", u"", ""},
    {"ascii", u"USB Camera", "USB Camera"},
    {"control characters stay bytes", std::u16string(u"\x01\x1f\x7f", 3), "\x01\x1f\x7f"},
    {"accented", u"Caméra intégrée", "Cam\xC3\xA9ra int\xC3\xA9gr\xC3\xA9" "e"},
    {"CJK", u"摄像头", "\xE6\x91\x84\xE5\x83\x8F\xE5\xA4\xB4"},
    {"last BMP code unit", u"\xFFFF", "\xEF\xBF\xBF"},
    {"surrogate pair", u"\xD83D\xDCF7", "\xF0\x9F\x93\xB7"},
    {"highest code point", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    {"unpaired high surrogate at the end", u"a\xD83D", "a\xEF\xBF\xBD"},
    {"unpaired low surrogate", u"\xDCF7" "b", "\xEF\xBF\xBD" "b"},
    {"two high surrogates then a low", u"\xD83D\xD83D\xDCF7", "\xEF\xBF\xBD\xF0\x9F\x93\xB7"},
    {"reversed pair", u"\xDCF7\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"NUL inside", std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
};

TEST(Utf8, ReportConversionAndOwnConversionGiveTheSameBytes) {
    for (const EncodeCase& c : kEncodeCases) {
        EXPECT_EQ(toUtf8(c.text), c.bytes) << c.what;
        EXPECT_EQ(encodeUtf8(c.text), c.bytes) << c.what;
    }
}

TEST(Utf8, ReportConversionMatchesOwnOnRandomCodeUnits) {
    // Surrogates are drawn often so that pairs, lone halves and their mixes
    // all occur.
    std::mt19937 random(7);
    std::uniform_int_distribution<int> length(0, 40);
    std::uniform_int_distribution<int> kind(0, 3);
    for (int round = 0; round < 2000; ++round) {
        std::u16string text;
        for (int i = length(random); i > 0; --i) {
            const int k = kind(random);
            const unsigned base = k == 0 ? 0x0000 : k == 1 ? 0xD800 : k == 2 ? 0xDC00 : 0x0080;
            const unsigned span = k == 3 ? 0xFF80 : k == 0 ? 0x80 : 0x400;
            text += static_cast<char16_t>(base + random() % span);
        }
        ASSERT_EQ(toUtf8(text), encodeUtf8(text)) << "round " << round;
    }
}

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::u16string text;
};

const DecodeCase kDecodeCases[] = {
    {"ascii", "HD Webcam", u"HD Webcam"},
    {"two-byte", "\xC3\xA9", u"é"},
    {"four-byte", "\xF0\x9F\x93\xB7", u"\xD83D\xDCF7"},
    {"stray continuation", "a\x80z", u"a\xFFFDz"},
    {"truncated at the end", "a\xE6\x91", u"a\xFFFD"},
    {"truncated before ascii", "\xE6\x91z", u"\xFFFDz"},
    {"overlong", "\xC0\xAF", u"\xFFFD\xFFFD"},
    {"overlong three-byte", "\xE0\x80\xAF", u"\xFFFD\xFFFD\xFFFD"},
    {"encoded surrogate", "\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD"},
    {"past U+10FFFF", "\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD"},
    {"invalid lead", "\xFF", u"\xFFFD"},
};

TEST(Utf8, DecodingReplacesEachIllFormedPart) {
    for (const DecodeCase& c : kDecodeCases) EXPECT_EQ(decodeUtf8(c.bytes), c.text) << c.what;
}

TEST(Utf8, WellFormedTextRoundTrips) {
    for (const EncodeCase& c : kEncodeCases) {
        if (encodeUtf8(c.text).find("\xEF\xBF\xBD") != std::string::npos) continue;  // had lone surrogates
        EXPECT_EQ(decodeUtf8(encodeUtf8(c.text)), c.text) << c.what;
    }
}

}  // namespace

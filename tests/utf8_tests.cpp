// UTF-16 -> UTF-8 of the report (toUtf8, the platform's conversion where there
// is one) and of the project's own conversions, held to the same bytes.
#include <gtest/gtest.h>

#include "report/utf8.h"
#include "support/random_text.h"
#include "support/utf8_reader.h"
#include "text/utf.h"

namespace camera_info {

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
    {"accented", u"Caméra intégrée",
     "Cam\xC3\xA9ra int\xC3\xA9gr\xC3\xA9"
     "e"},
    {"CJK", u"摄像头", "\xE6\x91\x84\xE5\x83\x8F\xE5\xA4\xB4"},
    {"last BMP code unit", u"\xFFFF", "\xEF\xBF\xBF"},
    {"surrogate pair", u"\xD83D\xDCF7", "\xF0\x9F\x93\xB7"},
    {"highest code point", u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
    {"unpaired high surrogate at the end", u"a\xD83D", "a\xEF\xBF\xBD"},
    {"unpaired low surrogate",
     u"\xDCF7"
     "b",
     "\xEF\xBF\xBD"
     "b"},
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

TEST(Utf8, ReportConversionReadsBackAsTheSameCharacters) {
    for (const std::u16string& text : randomTexts()) {
        const std::optional<std::u32string> read = strictUtf8CodePoints(toUtf8(text));
        ASSERT_TRUE(read.has_value()) << "ill-formed UTF-8 from " << text.size() << " units";
        ASSERT_TRUE(*read == codePointsOf(text)) << "characters changed, " << text.size() << " units";
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

TEST(Utf8, CutCharactersAtTheEnd) {
    const struct {
        std::string bytes;
        std::size_t tail;
    } cases[] = {
        {"", 0},          {"abc", 0},          {"\xC3\xA9", 0},     {"a\xC3", 1},
        {"a\xE6\x91", 2}, {"\xF0\x9F\x93", 3}, {"\xE6\x91\x84", 0}, {"a\x80", 0},
        {"a\xFF", 0},     {"a\xE0\x80", 0},    {"a\xED\xA0", 0},    {"\xC3\xA9\xC3", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(incompleteUtf8Tail(c.bytes), c.tail) << c.bytes.size() << " bytes";
}

TEST(Utf8, WellFormedTextRoundTrips) {
    for (const EncodeCase& c : kEncodeCases) {
        if (encodeUtf8(c.text).find("\xEF\xBF\xBD") != std::string::npos) continue;  // had lone surrogates
        EXPECT_EQ(decodeUtf8(encodeUtf8(c.text)), c.text) << c.what;
    }
}

}  // namespace

}  // namespace camera_info

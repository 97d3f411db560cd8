// The names that pass through the 255-unit name buffer, with what each must
// become: one table for the rule itself and for the whole way to the report.
#pragma once

#include <string>
#include <vector>

namespace camera_info {

struct NameCase {
    const char* what;
    std::u16string text;  // the property's text
    std::u16string name;  // the recorded name
};

inline std::vector<NameCase> nameCases() {
    const std::u16string pair = u"\xD83D\xDCF7";
    std::u16string controls;
    for (char16_t c = 1; c < 0x20; ++c) controls += c;
    return {
        {"empty", u"", u""},
        {"one unit", u"a", u"a"},
        {"254 units", std::u16string(254, u'x'), std::u16string(254, u'x')},
        {"255 units", std::u16string(255, u'x'), std::u16string(254, u'x')},
        {"256 units", std::u16string(256, u'x'), std::u16string(254, u'x')},
        {"100000 units", std::u16string(100000, u'x'), std::u16string(254, u'x')},
        {"NUL inside", std::u16string(u"cam\0era", 7), u"cam"},
        {"NUL first", std::u16string(u"\0cam", 4), u""},
        {"only control characters", controls, controls},
        {"control characters past the cut", std::u16string(300, u'\x1b'), std::u16string(254, u'\x1b')},
        {"lone surrogates, not cut", u"\xDC00\xD800x\xD800", u"\xDC00\xD800x\xD800"},
        {"a pair cut in half", std::u16string(253, u'x') + pair, std::u16string(253, u'x')},
        {"a pair that just fits", std::u16string(252, u'x') + pair + u"y", std::u16string(252, u'x') + pair},
        {"a lone high surrogate at the cut, a letter after it", std::u16string(253, u'x') + u"\xD83Dy",
         std::u16string(253, u'x')},
        {"a lone low surrogate at the cut", std::u16string(253, u'x') + u"\xDCF7y",
         std::u16string(253, u'x') + u"\xDCF7"},
        {"surrogate halves past the cut", std::u16string(200, u'\xD83D') + std::u16string(200, u'\xDCF7'),
         std::u16string(200, u'\xD83D') + std::u16string(54, u'\xDCF7')},
    };
}

}  // namespace camera_info

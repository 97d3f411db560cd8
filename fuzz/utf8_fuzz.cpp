// UTF-16 -> UTF-8 (the report's) and UTF-8 -> UTF-16 (the Linux registry's),
// each held to an independent reading of UTF-8.
#include "fuzz_input.h"
#include "report/utf8.h"
#include "support/utf8_reader.h"
#include "text/utf.h"

using namespace camera_info;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

    const std::string utf8 = toUtf8(text);
    const std::optional<std::u32string> read = strictUtf8CodePoints(utf8);
    if (!read) fuzzFinding("toUtf8 gave ill-formed UTF-8");
    if (*read != codePointsOf(text)) fuzzFinding("toUtf8 changed the characters, or a lone surrogate is not U+FFFD");

    // The same bytes taken as UTF-8, as sysfs names are.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string decoded = decodeUtf8(bytes);
    if (decoded.size() > bytes.size()) fuzzFinding("decoding grew the text");
    const std::optional<std::u32string> strict = strictUtf8CodePoints(bytes);
    if (strict && codePointsOf(decoded) != *strict) fuzzFinding("valid UTF-8 decoded to other characters");
    if (!strict && codePointsOf(decoded).find(U'\xFFFD') == std::u32string::npos)
        fuzzFinding("ill-formed UTF-8 decoded without a replacement character");
    if (!strictUtf8CodePoints(encodeUtf8(decoded))) fuzzFinding("decoded text does not encode to valid UTF-8");

    // A character cut at the end is at most three bytes, and only ever in
    // text that is not valid as it stands.
    const std::size_t tail = incompleteUtf8Tail(bytes);
    if (tail > 3 || (tail > 0 && strict)) fuzzFinding("a cut character where there is none");
    return 0;
}

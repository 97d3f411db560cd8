// UTF-16 -> UTF-8 (the report's and the project's own) and UTF-8 -> UTF-16.
#include "camera_report.h"
#include "fuzz_input.h"
#include "utf.h"

namespace {

// The input with each unpaired surrogate replaced by U+FFFD.
std::u16string withLoneSurrogatesReplaced(const std::u16string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isHighSurrogate(text[i]) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            out += text[i];
            out += text[++i];
        } else {
            out += isHighSurrogate(text[i]) || isLowSurrogate(text[i]) ? u'\xFFFD' : text[i];
        }
    }
    return out;
}

// Valid UTF-8 is exactly what decoding and encoding again gives back
// unchanged: decoding replaces any ill-formed part by EF BF BD.
bool isValidUtf8(const std::string& bytes) { return encodeUtf8(decodeUtf8(bytes)) == bytes; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));

    const std::string utf8 = encodeUtf8(text);
    if (toUtf8(text) != utf8) fuzzFinding("toUtf8 and encodeUtf8 differ");
    if (!isValidUtf8(utf8)) fuzzFinding("encoding gave ill-formed UTF-8");
    if (decodeUtf8(utf8) != withLoneSurrogatesReplaced(text))
        fuzzFinding("round trip lost text, or a lone surrogate did not become exactly U+FFFD");

    // The same bytes taken as UTF-8, as sysfs names are.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::u16string decoded = decodeUtf8(bytes);
    const std::string again = encodeUtf8(decoded);
    if (!isValidUtf8(again)) fuzzFinding("decoding gave text that does not encode to valid UTF-8");
    if (decoded.size() > bytes.size()) fuzzFinding("decoding grew the text");
    if (isValidUtf8(bytes) && again != bytes) fuzzFinding("valid UTF-8 did not round-trip");
    return 0;
}

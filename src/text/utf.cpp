// UTF-16 <-> UTF-8 conversions of the project's own.
#include "text/utf.h"

namespace camera_info {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendUtf16(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
}

}  // namespace

std::string encodeUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const char32_t cp = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            appendUtf8(out, cp);
            ++i;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

namespace {

// One UTF-8 sequence read from `at`: how many bytes it takes, its code point
// when it is complete, and whether the bytes ran out before its end while
// everything so far was well formed.
struct Sequence {
    std::size_t taken = 1;
    bool complete = false;
    bool cutByEnd = false;
    char32_t cp = kReplacement;
};

Sequence readSequence(const std::string& bytes, std::size_t at) {
    Sequence s;
    const unsigned char lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) {
        s.complete = true;
        s.cp = lead;
        return s;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    // The bounds of the second byte rule out overlong forms, surrogates
    // and values past U+10FFFF in one place.
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        cp = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        cp = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return s;
    }
    for (; s.taken < length; ++s.taken) {
        if (at + s.taken >= bytes.size()) {
            s.cutByEnd = true;
            return s;
        }
        const unsigned char next = static_cast<unsigned char>(bytes[at + s.taken]);
        const unsigned char min = s.taken == 1 ? low : 0x80;
        const unsigned char max = s.taken == 1 ? high : 0xBF;
        if (next < min || next > max) return s;
        cp = (cp << 6) | (next & 0x3F);
    }
    s.complete = true;
    s.cp = cp;
    return s;
}

}  // namespace

std::u16string decodeUtf8(const std::string& bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const Sequence s = readSequence(bytes, i);
        if (s.complete)
            appendUtf16(out, s.cp);
        else
            out += static_cast<char16_t>(kReplacement);
        i += s.taken;
    }
    return out;
}

std::size_t incompleteUtf8Tail(const std::string& bytes) {
    // A sequence is at most four bytes, so an unfinished one starts in the last three.
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const Sequence s = readSequence(bytes, bytes.size() - back);
        if (s.cutByEnd) return back;
    }
    return 0;
}

}  // namespace camera_info

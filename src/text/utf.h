// UTF-16 <-> UTF-8 conversions of the project's own, shared by the report and
// the Linux device registry.
#pragma once

#include <string>

namespace camera_info {

// The halves of a UTF-16 surrogate pair.
inline bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Standard UTF-8 of well-formed UTF-16; every unpaired surrogate becomes
// U+FFFD (EF BF BD), which is what WideCharToMultiByte with flags 0 writes.
std::string encodeUtf8(const std::u16string& text);

// UTF-16 of UTF-8 bytes; every ill-formed sequence (a stray continuation
// byte, a truncated or overlong sequence, an encoded surrogate, a value past
// U+10FFFF) becomes one U+FFFD per maximal ill-formed subpart.
std::u16string decodeUtf8(const std::string& bytes);

// How many bytes at the end of `bytes` begin a well-formed UTF-8 sequence
// that the end cuts short (a character cut in half); 0 when there are none.
std::size_t incompleteUtf8Tail(const std::string& bytes);

}  // namespace camera_info

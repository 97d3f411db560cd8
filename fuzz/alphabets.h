// The units each fuzz target draws its text from most often: the ones that
// matter to the code under test, so that markers, escapes, NULs and surrogates
// meet often.
#pragma once

#include <cstddef>
#include <string>

// A literal's units, all of them: a u16string made from a literal alone
// stops at its first NUL, and the NUL is one of the units wanted.
template <std::size_t N>
std::u16string unitsOf(const char16_t (&literal)[N]) {
    return std::u16string(literal, N - 1);
}

// Display names and property texts for enumeration.
inline std::u16string enumerationAlphabet() { return unitsOf(u"vid_pid_&#\\aZ\0\xD83D\xDCF7"); }

// Display names for identifier extraction.
inline std::u16string extractAlphabet() { return unitsOf(u"vidp_&#\\V0a\0"); }

// Report fields: everything the report quotes in its own way.
inline std::u16string reportAlphabet() { return unitsOf(u"a \"\\/\b\f\n\r\t\x01\x1b\x1f\x7f\xe9\x4e2d\xD83D\xDCF7\0"); }

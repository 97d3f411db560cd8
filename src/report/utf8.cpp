// toUtf8 where the platform has no WideCharToMultiByte: the project's own conversion.
#include "utf8.h"

#include "utf.h"

std::string toUtf8(const std::u16string& text) { return encodeUtf8(text); }

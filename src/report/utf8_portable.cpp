// toUtf8 where the platform has no WideCharToMultiByte.
#include "camera_report.h"

#include "utf.h"

std::string toUtf8(const std::u16string& text) { return encodeUtf8(text); }

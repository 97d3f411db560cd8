// toUtf8 where the platform has no WideCharToMultiByte: the project's own conversion.
#include "report/utf8.h"

#include "text/utf.h"

namespace camera_info {

std::string toUtf8(const std::u16string& text) { return encodeUtf8(text); }

}  // namespace camera_info

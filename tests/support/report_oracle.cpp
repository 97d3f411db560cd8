// The JSON library's writer and reader as oracles for the report.
#include "support/report_oracle.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cctype>
#include <memory>

namespace camera_info {

std::string libraryStyledText(const Json::Value& document) {
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "   ";
    writer["emitUTF8"] = true;
    return Json::writeString(writer, document) + "\n";
}

std::string lowercaseUnicodeEscapes(std::string text) {
    // Walk escape by escape so that an escaped backslash before a 'u' is not
    // taken for the start of a \u escape.
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '\\') continue;
        if (text[i + 1] == 'u') {
            for (std::size_t k = i + 2; k < i + 6 && k < text.size(); ++k)
                text[k] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[k])));
        }
        ++i;  // skip the escaped character
    }
    return text;
}

bool parseReport(const std::string& text, Json::Value& parsed, std::string* errors) {
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    std::string ignored;
    return reader->parse(text.data(), text.data() + text.size(), &parsed, errors ? errors : &ignored);
}

}  // namespace camera_info

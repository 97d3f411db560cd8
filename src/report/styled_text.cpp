// The report's styled text, written by hand because the JSON library's own
// writers escape non-ASCII text, use lowercase hex or indent with tabs.
#include "camera_report.h"

#include <json/writer.h>

namespace {

// Spaces per level of nesting.
constexpr std::size_t kIndentWidth = 3;

// Bytes that need an escape: the quote, the backslash and the C0 controls.
bool needsEscape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

void appendQuoted(std::string& out, const char* begin, const char* end) {
    static const char kHex[] = "0123456789ABCDEF";
    out += '"';
    const char* run = begin;  // start of the bytes not yet copied
    for (const char* p = begin; p != end; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        // "/", DEL and every byte of a UTF-8 sequence stay raw.
        if (!needsEscape(byte)) continue;
        out.append(run, p);
        run = p + 1;
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                const char escape[] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0x0F]};
                out.append(escape, sizeof escape);
            }
        }
    }
    out.append(run, end);
    out += '"';
}

void newLine(std::string& out, int depth) {
    out += '\n';
    out.append(static_cast<std::size_t>(depth) * kIndentWidth, ' ');
}

void appendValue(std::string& out, const Json::Value& value, int depth) {
    switch (value.type()) {
        case Json::nullValue:
            out += "null";
            break;
        case Json::stringValue: {
            const char* begin = nullptr;
            const char* end = nullptr;
            // getString keeps NUL bytes inside the value, which asString would too,
            // but without copying it.
            if (value.getString(&begin, &end)) appendQuoted(out, begin, end);
            else out += "\"\"";
            break;
        }
        case Json::objectValue: {
            if (value.empty()) {
                out += "{}";
                break;
            }
            out += '{';
            // The library keeps members in ascending byte order of their names.
            bool first = true;
            for (auto it = value.begin(); it != value.end(); ++it) {
                if (!first) out += ',';
                first = false;
                newLine(out, depth + 1);
                const char* nameEnd = nullptr;
                const char* name = it.memberName(&nameEnd);
                appendQuoted(out, name, nameEnd);
                out += " : ";
                appendValue(out, *it, depth + 1);
            }
            newLine(out, depth);
            out += '}';
            break;
        }
        case Json::arrayValue: {
            if (value.empty()) {
                out += "[]";
                break;
            }
            // One element per line: the styled layout's choice for arrays of
            // non-empty objects, the only arrays a report holds.
            out += '[';
            // Iterated rather than indexed: the library keeps arrays in a map.
            bool first = true;
            for (const Json::Value& element : value) {
                if (!first) out += ',';
                first = false;
                newLine(out, depth + 1);
                appendValue(out, element, depth + 1);
            }
            newLine(out, depth);
            out += ']';
            break;
        }
        case Json::booleanValue:
            out += value.asBool() ? "true" : "false";
            break;
        case Json::intValue:
            out += Json::valueToString(value.asLargestInt());
            break;
        case Json::uintValue:
            out += Json::valueToString(value.asLargestUInt());
            break;
        case Json::realValue:
            out += Json::valueToString(value.asDouble());
            break;
    }
}

}  // namespace

std::string toStyledText(const Json::Value& document) {
    std::string out;
    // About 60 bytes of layout per record besides its fields.
    out.reserve(document.isArray() ? 64 + document.size() * 96 : 8);
    appendValue(out, document, 0);
    out += '\n';
    return out;
}

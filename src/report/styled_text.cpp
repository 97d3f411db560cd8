// The report's styled text, written by hand because the JSON library's own
// writers escape non-ASCII text, use lowercase hex or indent with tabs.
#include "report/styled_text.h"

#include <json/writer.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#if defined(_MSC_VER)
#define CAMERA_INFO_NOINLINE __declspec(noinline)
#else
#define CAMERA_INFO_NOINLINE __attribute__((noinline))
#endif

namespace camera_info {

namespace {

// Spaces per level of nesting.
constexpr std::size_t kIndentWidth = 3;

// Bytes that need an escape: the quote, the backslash and the C0 controls.
// "/", DEL and every byte of a UTF-8 sequence stay raw.
bool needsEscape(unsigned char byte) { return byte < 0x20 || byte == '"' || byte == '\\'; }

// An output buffer that grows ahead of the writes, so that each write is a
// plain copy: the report is mostly small pieces of layout. Given a file, it
// hands its bytes on to the file whenever it fills instead of growing, so
// that a large report is never held whole.
class Sink {
public:
    explicit Sink(std::size_t expected) : text_(expected, '\0') {}
    Sink(std::FILE* file, std::size_t chunk) : text_(chunk, '\0'), file_(file) {}

    // Room for at least `bytes` more.
    void reserve(std::size_t bytes) {
        if (used_ + bytes > text_.size()) makeRoom(bytes);
    }
    void put(char c) { text_[used_++] = c; }
    void put(const char* bytes, std::size_t size) {
        std::memcpy(&text_[used_], bytes, size);
        used_ += size;
    }
    void put(const std::string& bytes) {
        reserve(bytes.size());
        put(bytes.data(), bytes.size());
    }
    std::string take() {
        text_.resize(used_);
        return std::move(text_);
    }
    // Hands what is held on to the file; false once any write failed.
    bool flush() {
        if (used_ > 0 && std::fwrite(text_.data(), 1, used_, file_) != used_) written_ = false;
        used_ = 0;
        // The stream's error indicator remembers any failure of the stream's
        // own buffering too, whatever a count said.
        if (std::ferror(file_) != 0) written_ = false;
        return written_;
    }

private:
    // Kept out of line: the common case above is a comparison, inlined everywhere.
    CAMERA_INFO_NOINLINE void makeRoom(std::size_t bytes) {
        if (file_ != nullptr) {
            flush();
            if (bytes <= text_.size()) return;
        }
        text_.resize(std::max(2 * text_.size(), used_ + bytes));
    }

    std::string text_;
    std::size_t used_ = 0;
    std::FILE* file_ = nullptr;
    bool written_ = true;
};

void putQuoted(Sink& out, const char* begin, const char* end) {
    static const char kHex[] = "0123456789ABCDEF";
    // At worst every byte becomes a six-byte \u escape.
    out.reserve(2 + 6 * static_cast<std::size_t>(end - begin));
    out.put('"');
    for (const char* p = begin; p != end; ++p) {
        const unsigned char byte = static_cast<unsigned char>(*p);
        if (!needsEscape(byte)) {
            out.put(static_cast<char>(byte));
            continue;
        }
        out.put('\\');
        switch (byte) {
            case '"': out.put('"'); break;
            case '\\': out.put('\\'); break;
            case '\b': out.put('b'); break;
            case '\f': out.put('f'); break;
            case '\n': out.put('n'); break;
            case '\r': out.put('r'); break;
            case '\t': out.put('t'); break;
            default: {
                const char escape[] = {'u', '0', '0', kHex[byte >> 4], kHex[byte & 0x0F]};
                out.put(escape, sizeof escape);
            }
        }
    }
    out.put('"');
}

void newLine(Sink& out, int depth) {
    const std::size_t width = static_cast<std::size_t>(depth) * kIndentWidth;
    out.reserve(1 + width);
    out.put('\n');
    for (std::size_t i = 0; i < width; ++i) out.put(' ');
}

void putLiteral(Sink& out, const char* text) {
    const std::size_t size = std::strlen(text);
    out.reserve(size);
    out.put(text, size);
}

void putValue(Sink& out, const Json::Value& value, int depth) {
    switch (value.type()) {
        case Json::nullValue: putLiteral(out, "null"); break;
        case Json::stringValue: {
            const char* begin = nullptr;
            const char* end = nullptr;
            // getString keeps NUL bytes inside the value and copies nothing.
            if (value.getString(&begin, &end))
                putQuoted(out, begin, end);
            else
                putLiteral(out, "\"\"");
            break;
        }
        case Json::objectValue: {
            if (value.empty()) {
                putLiteral(out, "{}");
                break;
            }
            putLiteral(out, "{");
            // The library keeps members in ascending byte order of their names.
            bool first = true;
            for (auto it = value.begin(), last = value.end(); it != last; ++it) {
                if (!first) putLiteral(out, ",");
                first = false;
                newLine(out, depth + 1);
                const char* nameEnd = nullptr;
                const char* name = it.memberName(&nameEnd);
                putQuoted(out, name, nameEnd);
                putLiteral(out, " : ");
                putValue(out, *it, depth + 1);
            }
            newLine(out, depth);
            putLiteral(out, "}");
            break;
        }
        case Json::arrayValue: {
            if (value.empty()) {
                putLiteral(out, "[]");
                break;
            }
            // One element per line: the styled layout's choice for arrays of
            // non-empty objects, the only arrays a report holds. Iterated
            // rather than indexed: the library keeps arrays in a map.
            putLiteral(out, "[");
            bool first = true;
            for (const Json::Value& element : value) {
                if (!first) putLiteral(out, ",");
                first = false;
                newLine(out, depth + 1);
                putValue(out, element, depth + 1);
            }
            newLine(out, depth);
            putLiteral(out, "]");
            break;
        }
        case Json::booleanValue: putLiteral(out, value.asBool() ? "true" : "false"); break;
        case Json::intValue: out.put(Json::valueToString(value.asLargestInt())); break;
        case Json::uintValue: out.put(Json::valueToString(value.asLargestUInt())); break;
        case Json::realValue: out.put(Json::valueToString(value.asDouble())); break;
    }
}

// About 70 bytes of layout per record, plus its fields.
std::size_t expectedSize(const Json::Value& document) { return document.isArray() ? 64 + document.size() * 128 : 16; }

}  // namespace

std::string toStyledText(const Json::Value& document) {
    Sink out(expectedSize(document));
    putValue(out, document, 0);
    putLiteral(out, "\n");
    return out.take();
}

bool writeStyledText(const Json::Value& document, std::FILE* file) {
    // Pieces of 64 KiB at most; a small report gets a small buffer.
    Sink out(file, std::min(std::size_t{64} * 1024, expectedSize(document)));
    putValue(out, document, 0);
    putLiteral(out, "\n");
    return out.flush();
}

}  // namespace camera_info

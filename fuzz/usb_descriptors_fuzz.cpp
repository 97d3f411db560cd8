// The USB descriptor walk against a plain reference reading, over sequences
// of descriptors of every kind with lengths that lie.
#include <optional>
#include <string>
#include <vector>

#include "discovery/linux/usb_descriptors.h"
#include "fuzz_input.h"

using namespace camera_info;

namespace {

std::uint8_t byteAt(const std::string& bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

// The reference, read as the kernel reads: first the configurations, each
// the wTotalLength bytes its descriptor claims (the walk stops at one that
// claims less than itself); then the descriptors of the one asked for, up to
// the first whose length lies; then the strings among them.
std::optional<FunctionStrings> reference(const std::string& bytes, unsigned configuration, unsigned interface) {
    if (bytes.size() < 18 || byteAt(bytes, 1) != 1) return std::nullopt;
    std::optional<std::string> body;
    for (std::size_t at = 18; at + 9 <= bytes.size() && !body;) {
        const std::size_t length = byteAt(bytes, at), total = byteAt(bytes, at + 2) + 256u * byteAt(bytes, at + 3);
        if (byteAt(bytes, at + 1) != 2 || length < 9 || total < length) break;
        const std::string whole = bytes.substr(at, total);
        if (byteAt(bytes, at + 5) == configuration) body = whole.size() >= length ? whole.substr(length) : "";
        at += total;
    }
    if (!body) return std::nullopt;
    std::vector<std::string> descriptors;
    for (std::size_t i = 0; i + 2 <= body->size();) {
        const std::size_t length = byteAt(*body, i);
        if (length < 2 || i + length > body->size()) break;
        descriptors.push_back(body->substr(i, length));
        i += length;
    }
    std::vector<std::string> associations, interfaces;
    for (const std::string& d : descriptors) {
        if (byteAt(d, 1) == 11 && d.size() >= 8) associations.push_back(d);
        if (byteAt(d, 1) == 4 && d.size() >= 9) interfaces.push_back(d);
    }
    if (associations.size() > 16) associations.resize(16);
    std::optional<std::uint8_t> iFunction, iInterface;
    for (const std::string& d : associations) {
        if (!iFunction && interface >= byteAt(d, 2) && interface < unsigned(byteAt(d, 2)) + byteAt(d, 3))
            iFunction = byteAt(d, 7);
    }
    for (const std::string& d : interfaces) {
        if (!iInterface && byteAt(d, 2) == interface && byteAt(d, 3) == 0) iInterface = byteAt(d, 8);
    }
    if (!iInterface) return std::nullopt;
    return FunctionStrings{iFunction.value_or(0), *iInterface};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const unsigned configuration = input.below(4);
    const unsigned interface = input.below(4);
    std::string bytes;
    const auto put = [](std::string& to, std::initializer_list<int> values) {
        for (const int v : values) to += static_cast<char>(v);
    };
    if (input.byte() % 8 != 0) put(bytes, {18, 1, 0, 2, 0xEF, 2, 1, 64, 0, 0, 0, 0, 0, 1, 1, 2, 3, 1});
    for (std::size_t configurations = input.below(4); configurations > 0 && !input.empty(); --configurations) {
        std::string body;
        for (std::size_t n = input.below(16); n > 0 && !input.empty(); --n) {
            const std::uint8_t kind = input.byte();
            // Lengths mostly right, sometimes short, long or absurd.
            const int lie = kind & 0x80 ? static_cast<int>(input.below(12)) - 4 : 0;
            switch (kind % 6) {
                case 0:
                    put(body,
                        {9 + lie, 2, int(input.byte()), int(input.below(2)), 1, int(input.below(4)), 0, 0x80, 50});
                    break;
                case 1:
                    put(body, {8 + lie, 11, int(input.below(4)), int(input.below(4)), 14, 3, 0, int(input.below(8))});
                    break;
                case 2:
                    put(body, {9 + lie, 4, int(input.below(4)), int(input.below(2)), 1, 14, 1, 0, int(input.below(8))});
                    break;
                case 3: put(body, {int(input.byte()), int(input.byte())}); break;  // any length, any type
                case 4: put(body, {18 + lie, 1, 0, 2, 0xEF, 2, 1, 64, 0, 0, 0, 0, 0, 1, 1, 2, 3, 1}); break;
                default: put(body, {int(input.below(10)), 36, 1, 2, 3, 4, 5, 6, 7}); break;
            }
        }
        // wTotalLength mostly true, sometimes a lie either way.
        const int total =
            static_cast<int>(9 + body.size()) + (input.byte() % 4 == 0 ? static_cast<int>(input.below(24)) - 12 : 0);
        put(bytes, {9 + (input.byte() % 8 == 0 ? static_cast<int>(input.below(4)) - 2 : 0), 2, total & 0xFF,
                    (total >> 8) & 0xFF, 1, int(input.below(4)), 0, 0x80, 50});
        bytes += body;
    }
    if (input.byte() & 1) bytes.resize(bytes.size() - std::min(bytes.size(), input.below(10)));
    const std::optional<FunctionStrings> found = functionStrings(bytes, configuration, interface);
    const std::optional<FunctionStrings> expected = reference(bytes, configuration, interface);
    if (found.has_value() != expected.has_value())
        fuzzFinding("found where the reference finds nothing, or the other way");
    if (found && (found->iFunction != expected->iFunction || found->iInterface != expected->iInterface))
        fuzzFinding("other strings than the reference's");
    return 0;
}

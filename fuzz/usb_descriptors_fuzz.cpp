// The USB descriptor walk against a plain reference reading, over sequences
// of descriptors of every kind with lengths that lie.
#include <optional>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "usb_descriptors.h"

namespace {

struct Descriptor {
    std::uint8_t type;
    std::string bytes;  // the whole descriptor, length byte first
};

// The reference: split into descriptors first, stopping where a length lies,
// then look at the configuration asked for alone.
std::optional<FunctionStrings> reference(const std::string& bytes, unsigned configuration, unsigned interface) {
    if (bytes.size() < 18 || static_cast<std::uint8_t>(bytes[1]) != 1) return std::nullopt;
    std::vector<Descriptor> all;
    for (std::size_t i = 18; i + 2 <= bytes.size();) {
        const std::size_t length = static_cast<std::uint8_t>(bytes[i]);
        if (length < 2 || i + length > bytes.size()) break;
        all.push_back({static_cast<std::uint8_t>(bytes[i + 1]), bytes.substr(i, length)});
        i += length;
    }
    std::size_t start = all.size();
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (all[i].type == 2 && all[i].bytes.size() >= 9 && static_cast<std::uint8_t>(all[i].bytes[5]) == configuration) {
            start = i + 1;
            break;
        }
    }
    std::optional<std::uint8_t> iFunction, iInterface;
    unsigned associations = 0;
    for (std::size_t i = start; i < all.size() && all[i].type != 2; ++i) {
        const std::string& d = all[i].bytes;
        const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(d[k]); };
        if (all[i].type == 11 && d.size() >= 8 && ++associations <= 16 && !iFunction && interface >= byte(2) &&
            interface < unsigned(byte(2)) + byte(3)) {
            iFunction = byte(7);
        }
        if (all[i].type == 4 && d.size() >= 9 && !iInterface && byte(2) == interface && byte(3) == 0) iInterface = byte(8);
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
    const auto put = [&bytes](std::initializer_list<int> values) {
        for (const int v : values) bytes += static_cast<char>(v);
    };
    if (input.byte() % 8 != 0) put({18, 1, 0, 2, 0xEF, 2, 1, 64, 0, 0, 0, 0, 0, 1, 1, 2, 3, 1});
    for (std::size_t n = input.below(40); n > 0 && !input.empty(); --n) {
        const std::uint8_t kind = input.byte();
        // Lengths mostly right, sometimes short, long or absurd.
        const int lie = kind & 0x80 ? static_cast<int>(input.below(12)) - 4 : 0;
        switch (kind % 5) {
            case 0: put({9 + lie, 2, 0, 0, 1, int(input.below(4)), 0, 0x80, 50}); break;
            case 1: put({8 + lie, 11, int(input.below(4)), int(input.below(4)), 14, 3, 0, int(input.below(8))}); break;
            case 2: put({9 + lie, 4, int(input.below(4)), int(input.below(2)), 1, 14, 1, 0, int(input.below(8))}); break;
            case 3: put({int(input.byte()), int(input.byte())}); break;  // any length, any type
            default: put({int(input.below(10)), 36, 1, 2, 3, 4, 5, 6, 7}); break;
        }
    }
    if (input.byte() & 1) bytes.resize(bytes.size() - std::min(bytes.size(), input.below(10)));
    const std::optional<FunctionStrings> found = functionStrings(bytes, configuration, interface);
    const std::optional<FunctionStrings> expected = reference(bytes, configuration, interface);
    if (found.has_value() != expected.has_value()) fuzzFinding("found where the reference finds nothing, or the other way");
    if (found && (found->iFunction != expected->iFunction || found->iInterface != expected->iInterface))
        fuzzFinding("other strings than the reference's");
    return 0;
}

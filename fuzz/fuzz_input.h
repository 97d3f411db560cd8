// Draws values from a fuzzer's bytes; once they run out every draw is 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    std::uint8_t byte() { return empty() ? 0 : data_[at_++]; }
    std::uint16_t unit() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::size_t below(std::size_t n) { return n == 0 ? 0 : byte() % n; }

    // Text made mostly of the units that matter to the code under test, so
    // that markers, escapes and surrogates meet often; sometimes any unit.
    std::u16string text(const std::u16string& alphabet, std::size_t maxUnits) {
        std::u16string out;
        const std::size_t length =
            (static_cast<std::size_t>(byte()) | (static_cast<std::size_t>(byte()) << 8)) % (maxUnits + 1);
        for (std::size_t i = 0; i < length && !empty(); ++i) {
            const std::uint8_t pick = byte();
            out += pick < 0xE0 ? alphabet[pick % alphabet.size()] : static_cast<char16_t>(unit());
        }
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Ends the run as a finding: libFuzzer (and the replay) report the crash.
[[noreturn]] void fuzzFinding(const char* what);

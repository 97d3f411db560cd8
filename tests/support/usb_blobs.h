// Raw USB descriptors, as a device sends them and sysfs shows them, for tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace usb_blobs {

inline std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (const int v : values) out += static_cast<char>(static_cast<std::uint8_t>(v));
    return out;
}

// The 18-byte device descriptor: miscellaneous class with associations, one configuration.
inline std::string device() {
    return bytes({18, 1, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x6b, 0x1d, 0x04, 0x01, 0x00, 0x01, 1, 2, 3, 1});
}
inline std::string configuration(int value) { return bytes({9, 2, 0, 0, 2, value, 0, 0x80, 250}); }
inline std::string association(int first, int count, int iFunction) {
    return bytes({8, 11, first, count, 0x0E, 0x03, 0x00, iFunction});
}
inline std::string interface(int number, int alternate, int iInterface) {
    return bytes({9, 4, number, alternate, 1, 0x0E, 0x01, 0x00, iInterface});
}

}  // namespace usb_blobs

// Raw USB descriptors, as a device sends them and sysfs shows them, for tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

namespace camera_info {

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
// A configuration descriptor whose wTotalLength is `total`.
inline std::string configurationHeader(int value, int total) {
    return bytes({9, 2, total & 0xFF, total >> 8, 2, value, 0, 0x80, 250});
}
// A configuration and the descriptors that follow it, wTotalLength telling their length.
inline std::string configuration(int value, const std::string& body) {
    return configurationHeader(value, static_cast<int>(9 + body.size())) + body;
}
inline std::string association(int first, int count, int iFunction) {
    return bytes({8, 11, first, count, 0x0E, 0x03, 0x00, iFunction});
}
inline std::string interface(int number, int alternate, int iInterface) {
    return bytes({9, 4, number, alternate, 1, 0x0E, 0x01, 0x00, iInterface});
}

}  // namespace usb_blobs

}  // namespace camera_info

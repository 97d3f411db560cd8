// What a USB device's raw descriptors say about the strings that name one of
// its interfaces.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace camera_info {

// The string indexes that can name an interface's function: the interface
// association's iFunction (0 where no association holds the interface, or
// it names nothing) and the interface's own iInterface (alternate setting 0).
struct FunctionStrings {
    std::uint8_t iFunction = 0;
    std::uint8_t iInterface = 0;
};

// Reads them from `descriptors` as sysfs shows them (the device descriptor,
// then each configuration: its wTotalLength bytes, the configuration
// descriptor first), in the configuration whose bConfigurationValue is
// `configuration`, as the kernel reads that configuration. None when the
// bytes hold no such configuration or no such interface. The bytes are
// whatever a device sent: every length is checked before it is trusted.
std::optional<FunctionStrings> functionStrings(std::string_view descriptors, unsigned configuration,
                                               unsigned interface);

// Whether the interface's `interface` attribute (its iInterface text, all
// that sysfs shows) is the text uvcvideo put after ": " in the node's name:
// the driver takes the association's iFunction first and the interface's
// own string only where the association names nothing.
inline bool functionNamedByInterface(const FunctionStrings& strings) {
    return strings.iFunction == 0 || strings.iFunction == strings.iInterface;
}

}  // namespace camera_info

// A bounded walk over raw USB descriptors.
#include "discovery/linux/usb_descriptors.h"

#include <algorithm>

namespace camera_info {

namespace {

constexpr std::uint8_t kDeviceType = 1;
constexpr std::uint8_t kConfigurationType = 2;
constexpr std::uint8_t kInterfaceType = 4;
constexpr std::uint8_t kAssociationType = 11;
constexpr std::size_t kDeviceLength = 18;
constexpr std::size_t kConfigurationLength = 9;
constexpr std::size_t kInterfaceLength = 9;
constexpr std::size_t kAssociationLength = 8;
// The kernel keeps this many associations of a configuration and ignores the rest.
constexpr unsigned kMostAssociations = 16;

std::uint8_t at(std::string_view bytes, std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); }

// The strings of `interface` in the descriptors that follow a configuration
// descriptor, walked as the kernel walks them: a descriptor shorter than two
// bytes or running past the configuration's end ends the walk; one it does
// not expect there (a device or configuration descriptor, a short
// association) is skipped, and what follows still counts.
std::optional<FunctionStrings> stringsIn(std::string_view body, unsigned interface) {
    unsigned associations = 0;
    std::optional<std::uint8_t> iFunction;
    std::optional<std::uint8_t> iInterface;
    for (std::size_t i = 0; i + 2 <= body.size();) {
        const std::size_t length = at(body, i);
        if (length < 2 || length > body.size() - i) break;
        const std::uint8_t type = at(body, i + 1);
        if (type == kAssociationType && length >= kAssociationLength && ++associations <= kMostAssociations &&
            !iFunction) {
            // The first association that holds the interface is the one the kernel gives it.
            const unsigned first = at(body, i + 2);
            if (interface >= first && interface < first + at(body, i + 3)) iFunction = at(body, i + 7);
        } else if (type == kInterfaceType && length >= kInterfaceLength && !iInterface &&
                   at(body, i + 2) == interface && at(body, i + 3) == 0) {
            iInterface = at(body, i + 8);
        }
        i += length;
    }
    if (!iInterface) return std::nullopt;
    return FunctionStrings{iFunction.value_or(0), *iInterface};
}

}  // namespace

std::optional<FunctionStrings> functionStrings(std::string_view descriptors, unsigned configuration,
                                               unsigned interface) {
    if (descriptors.size() < kDeviceLength || at(descriptors, 1) != kDeviceType) return std::nullopt;
    // sysfs shows each configuration as the kernel read it: wTotalLength
    // bytes from its configuration descriptor on.
    for (std::size_t start = kDeviceLength; start + kConfigurationLength <= descriptors.size();) {
        const std::size_t length = at(descriptors, start);
        const std::size_t total = at(descriptors, start + 2) | (std::size_t{at(descriptors, start + 3)} << 8);
        // Without a configuration descriptor that says how long it is, where
        // the next configuration begins is unknown.
        if (at(descriptors, start + 1) != kConfigurationType || length < kConfigurationLength || total < length) break;
        if (at(descriptors, start + 5) == configuration) {
            const std::size_t end = std::min(descriptors.size(), start + total);
            if (start + length > end) return std::nullopt;  // its own descriptor runs past what there is
            return stringsIn(descriptors.substr(start + length, end - start - length), interface);
        }
        start += total;
    }
    return std::nullopt;
}

}  // namespace camera_info

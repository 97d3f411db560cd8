// A bounded walk over raw USB descriptors.
#include "usb_descriptors.h"

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

}  // namespace

std::optional<FunctionStrings> functionStrings(std::string_view descriptors, unsigned configuration,
                                               unsigned interface) {
    if (descriptors.size() < kDeviceLength || at(descriptors, 1) != kDeviceType) return std::nullopt;
    bool inConfiguration = false;
    unsigned associations = 0;
    std::optional<std::uint8_t> iFunction;
    std::optional<std::uint8_t> iInterface;
    // Each descriptor starts with its length and type; one shorter than two
    // bytes or running past the end ends the walk, as it ends the kernel's.
    for (std::size_t i = kDeviceLength; i + 2 <= descriptors.size();) {
        const std::size_t length = at(descriptors, i);
        if (length < 2 || length > descriptors.size() - i) break;
        const std::uint8_t type = at(descriptors, i + 1);
        if (type == kConfigurationType) {
            if (inConfiguration) break;  // the next configuration: the one asked for is whole
            inConfiguration = length >= kConfigurationLength && at(descriptors, i + 5) == configuration;
        } else if (inConfiguration && type == kAssociationType && length >= kAssociationLength &&
                   ++associations <= kMostAssociations && !iFunction) {
            // The first association that holds the interface is the one the kernel gives it.
            const unsigned first = at(descriptors, i + 2);
            if (interface >= first && interface < first + at(descriptors, i + 3)) iFunction = at(descriptors, i + 7);
        } else if (inConfiguration && type == kInterfaceType && length >= kInterfaceLength && !iInterface &&
                   at(descriptors, i + 2) == interface && at(descriptors, i + 3) == 0) {
            iInterface = at(descriptors, i + 8);
        }
        i += length;
    }
    if (!iInterface) return std::nullopt;
    return FunctionStrings{iFunction.value_or(0), *iInterface};
}

// The USB descriptors as the kernel walks them: which strings name one
// interface of one configuration.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "discovery/linux/usb_descriptors.h"
#include "support/usb_blobs.h"

namespace camera_info {

namespace {

TEST(UsbDescriptors, TheStringsOfOneInterfaceInOneConfiguration) {
    using namespace usb_blobs;
    const auto active = [](const std::string& body) { return device() + configuration(1, body); };
    std::string manyAssociations;
    for (int i = 0; i < 16; ++i) manyAssociations += association(8, 1, 9);
    manyAssociations += association(0, 1, 5) + interface(0, 0, 4);
    const std::string stray = configurationHeader(2, 9);
    const struct {
        const char* what;
        std::string bytes;
        unsigned interface;
        std::optional<FunctionStrings> strings;
    } cases[] = {
        {"association and interface", active(association(0, 2, 5) + interface(0, 0, 4)), 0, FunctionStrings{5, 4}},
        {"the second interface of the association", active(association(0, 2, 5) + interface(1, 0, 6)), 1,
         FunctionStrings{5, 6}},
        {"the association after the interface", active(interface(0, 0, 4) + association(0, 1, 5)), 0,
         FunctionStrings{5, 4}},
        {"the first of two associations", active(association(0, 1, 5) + association(0, 1, 7) + interface(0, 0, 4)), 0,
         FunctionStrings{5, 4}},
        {"a seventeenth association is ignored, as the kernel ignores it", active(manyAssociations), 0,
         FunctionStrings{0, 4}},
        {"alternate setting 0, wherever it stands", active(interface(0, 1, 9) + interface(0, 0, 4)), 0,
         FunctionStrings{0, 4}},
        {"no such interface", active(interface(1, 0, 4)), 0, std::nullopt},
        {"no such configuration", device() + configuration(2, interface(0, 0, 4)), 0, std::nullopt},
        {"a descriptor of length 0 ends the walk", active(std::string(2, '\0') + interface(0, 0, 4)), 0, std::nullopt},
        {"a descriptor running past the end", active(interface(0, 0, 4)).substr(0, 35), 0, std::nullopt},
        {"a descriptor running past its configuration's end",
         device() + configurationHeader(1, 13) + interface(0, 0, 4) + configuration(2, interface(0, 0, 6)), 0,
         std::nullopt},
        {"a stray configuration descriptor is skipped, as the kernel skips it",
         active(stray + association(0, 1, 5) + interface(0, 0, 4)), 0, FunctionStrings{5, 4}},
        {"a device descriptor out of place is skipped", active(device() + association(0, 1, 5) + interface(0, 0, 4)), 0,
         FunctionStrings{5, 4}},
        {"the active configuration after one whose length says where it ends",
         device() + configuration(2, stray + interface(0, 0, 7)) + configuration(1, interface(0, 0, 4)), 0,
         FunctionStrings{0, 4}},
        {"a configuration that says nothing of its length ends the walk",
         device() + configurationHeader(2, 0) + configuration(1, interface(0, 0, 4)), 0, std::nullopt},
        {"an interface descriptor too short to hold its string", active(bytes({8, 4, 0, 0, 1, 0x0E, 1, 0})), 0,
         std::nullopt},
        {"a short association is no association", active(bytes({7, 11, 0, 2, 0x0E, 3, 0}) + interface(0, 0, 4)), 0,
         FunctionStrings{0, 4}},
        {"no device descriptor", configuration(1, interface(0, 0, 4)), 0, std::nullopt},
        {"nothing", "", 0, std::nullopt},
    };
    for (const auto& c : cases) {
        const std::optional<FunctionStrings> found = functionStrings(c.bytes, 1, c.interface);
        ASSERT_EQ(found.has_value(), c.strings.has_value()) << c.what;
        if (found) {
            EXPECT_EQ(found->iFunction, c.strings->iFunction) << c.what;
            EXPECT_EQ(found->iInterface, c.strings->iInterface) << c.what;
        }
    }
}

}  // namespace

}  // namespace camera_info

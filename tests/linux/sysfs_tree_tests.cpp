// The Linux backend over sysfs trees built in a temporary directory: what
// it lists, in which order, under which names and with which ids.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/linux_backend_fixtures.h"
#include "support/usb_blobs.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

TEST_F(SysfsTree, OneUvcCameraWithItsMetadataNode) {
    const fs::path device = usbDevice("3-2", "1a2b", "3c4d", std::string("HD Webcam C270"));
    const fs::path interface = usbInterface(device, "00");
    const fs::path capture = node(interface, "video0", "HD Webcam C270: HD Webcam\n", "0");
    node(interface, "video1", "HD Webcam C270: HD Webcam\n", "1");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, u"HD Webcam C270: HD Webcam");
    EXPECT_EQ(cameras[0].vid, u"1a2b");
    EXPECT_EQ(cameras[0].pid, u"3c4d");
    EXPECT_EQ(displayNameOf("video0"), u16("usb#vid_1a2b&pid_3c4d&mi_00#" + capture.string()));
}

TEST_F(SysfsTree, TwoCamerasInNodeNumberOrder) {
    const fs::path first = usbDevice("3-1", "046d", "0825", std::string("C270"));
    const fs::path second = usbDevice("3-2", "0c45", "6366", std::nullopt);
    node(usbInterface(second, "00"), "video10", "Second\n");
    node(usbInterface(first, "00"), "video2", "First\n");
    file(sys() / "class/video4linux/vbi0/name", "not video\n");
    fs::create_directories(sys() / "class/video4linux/radio0");
    fs::create_directories(sys() / "class/video4linux/v4l-subdev0");
    fs::create_directories(sys() / "class/video4linux/videoX");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, u"First");
    EXPECT_EQ(cameras[0].vid, u"046d");
    EXPECT_EQ(cameras[1].name, u"Second");
    EXPECT_EQ(cameras[1].pid, u"6366");
}

TEST_F(SysfsTree, DevicesThatAreNotUsbHaveNoIdentifiers) {
    const fs::path pci = sys() / "devices/pci0000:00/0000:00:1c.0";
    file(pci / "vendor", "0x8086\n");
    file(pci / "device", "0x1234\n");
    const fs::path card = node(pci, "video0", "PCI capture card\n");
    const fs::path loopback = node(sys() / "devices/virtual", "video1", "Dummy video device (0x0000)\n", std::nullopt,
                                   /*linkDevice=*/false);

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, u"PCI capture card");
    EXPECT_EQ(cameras[0].vid, u"");
    EXPECT_EQ(cameras[0].pid, u"");
    EXPECT_EQ(cameras[1].name, u"Dummy video device (0x0000)");
    EXPECT_EQ(displayNameOf("video0"), u16(card.string()));
    EXPECT_EQ(displayNameOf("video1"), u16(loopback.string()));
}

TEST_F(SysfsTree, ADriverBoundToTheWholeDevice) {
    const fs::path device = usbDevice("1-4", "05a9", "4519", std::string("Cam"));
    node(device, "video0", "Whole\n");
    EXPECT_EQ(displayNameOf("video0"), u16("usb#vid_05a9&pid_4519&mi_#" + (device / "video4linux/video0").string()));
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].vid, u"05a9");
}

TEST_F(SysfsTree, NoVideoClassIsTheEmptyCategory) {
    EXPECT_TRUE(listed().empty());
    fs::create_directories(sys() / "class/video4linux");
    EXPECT_TRUE(listed().empty());
    std::int32_t count = -1;
    EXPECT_TRUE(list(&count).empty());
    EXPECT_EQ(count, 0);
}

TEST_F(SysfsTree, UnreadableNames) {
    const fs::path withProduct = usbInterface(usbDevice("3-1", "aaaa", "bbbb", std::string("Product text")), "00");
    const fs::path withoutProduct = usbInterface(usbDevice("3-2", "cccc", "dddd", std::nullopt), "00");
    const fs::path a = node(withProduct, "video0", "");
    const fs::path b = node(withoutProduct, "video2", "");
    // A directory where the attribute should be cannot be read.
    fs::remove(a / "name");
    fs::create_directory(a / "name");
    fs::remove(b / "name");
    node(withoutProduct, "video4", "Good\n");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].name, u"Product text");  // the description stands in
    EXPECT_EQ(cameras[0].vid, u"aaaa");
    EXPECT_EQ(cameras[1].name, u"Good");
}

TEST_F(SysfsTree, OddNameFiles) {
    const fs::path interface = usbInterface(usbDevice("3-1", "1111", "2222", std::nullopt), "00");
    node(interface, "video0", "No line feed");
    node(interface, "video1", "Bad \xFF\xC3 bytes\n");
    node(interface, "video2", "Two line feeds\n\n");
    node(interface, "video3", "");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 4u);
    EXPECT_EQ(cameras[0].name, u"No line feed");
    EXPECT_EQ(cameras[1].name, u"Bad \xFFFD\xFFFD bytes");
    EXPECT_EQ(cameras[2].name, u"Two line feeds\n");
    EXPECT_EQ(cameras[3].name, u"");
}

TEST_F(SysfsTree, UsbIdsAreOnlyTheKernelsFourHexDigits) {
    const struct {
        const char* idVendor;
        const char* idProduct;
        const char16_t* vid;
        const char16_t* pid;
    } cases[] = {
        {"046d\n", "0825\n", u"046d", u"0825"}, {"046d", "0825", u"046d", u"0825"},  // without a line feed
        {"046D\n", "0825\n", u"", u""},                                              // the kernel writes lower case
        {"46d\n", "0825\n", u"", u""},          {"046d0\n", "0825\n", u"", u""},    {"046d\n", "&pid_1234\n", u"", u""},
        {"&pid_\n", "0825\n", u"", u""},        {"04 6d\n", "0825\n", u"", u""},    {"046d\n\n", "0825\n", u"", u""},
    };
    const std::size_t count = sizeof cases / sizeof cases[0];
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path device = sys() / ("devices/pci0000:00/0000:00:14.0/usb3/3-" + std::to_string(i + 1));
        file(device / "idVendor", cases[i].idVendor);
        file(device / "idProduct", cases[i].idProduct);
        node(usbInterface(device, "00"), "video" + std::to_string(i), "Camera\n");
    }
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(cameras[i].vid, cases[i].vid) << i;
        EXPECT_EQ(cameras[i].pid, cases[i].pid) << i;
    }
}

TEST_F(SysfsTree, NoIdsComeFromAPath) {
    const fs::path rapid = node(sys() / "devices/platform/rapid_capture.0", "video0", "Rapid\n");
    const fs::path marked = node(sys() / "devices/platform/vid_1234&pid_5678", "video1", "Marked\n");
    const fs::path usb = usbDevice("3-1", "1a2b", "3c4d", std::nullopt);
    const fs::path inUsb = node(usbInterface(usb, "00"), "video2", "In USB\n");
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 3u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(cameras[i].vid, u"") << i;
        EXPECT_EQ(cameras[i].pid, u"") << i;
    }
    EXPECT_EQ(cameras[2].vid, u"1a2b");
    EXPECT_EQ(cameras[2].pid, u"3c4d");
    const auto escaped = [](std::string path) {
        for (std::size_t at = 0; (at = path.find('_', at)) != std::string::npos;) path.replace(at, 1, "%5F");
        return path;
    };
    EXPECT_EQ(displayNameOf("video0"), u16(escaped(rapid.string())));
    EXPECT_EQ(displayNameOf("video1"), u16(escaped(marked.string())));
    EXPECT_EQ(displayNameOf("video2"), u16("usb#vid_1a2b&pid_3c4d&mi_00#" + inUsb.string()));
}

TEST_F(SysfsTree, NodesInNodeNumberOrderWhateverTheDigits) {
    // Not names the kernel makes, but a tree may hold them: leading zeros do
    // not count, and equal numbers go in byte order. Made out of order, so
    // that the directory's own order cannot pass for the right one.
    const std::vector<std::string> expected = {"video0001", "video001", "video01", "video1", "video002", "video10"};
    for (const char* name : {"video01", "video10", "video0001", "video1", "video002", "video001", "video"}) {
        node(sys() / "devices/platform/many", name, std::string(name) + "\n");
    }
    const CameraList cameras = list();
    std::vector<std::string> names;
    for (const CameraInfo& camera : cameras) names.emplace_back(camera.name.begin(), camera.name.end());
    EXPECT_EQ(names, expected) << "\"video\" alone is no node";
}

// uvcvideo names a node "<product>: <function>" (or "UVC Camera (<vid>:<pid>)"
// for a device without a product string) and the kernel keeps 31 bytes of it.
TEST_F(SysfsTree, NamesTheKernelCutAreMadeWhole) {
    std::string umlauts;
    for (int i = 0; i < 16; ++i) umlauts += "\xC3\x84";  // 16 x U+00C4, 32 bytes
    const struct {
        const char* what;
        std::optional<std::string> product;
        std::optional<std::string> function;  // the interface's `interface` attribute
        std::string kernelName;
        std::u16string name;
    } cases[] = {
        {"product and function", std::string("Integrated Camera"), std::string("Integrated IR Camera"),
         "Integrated Camera: Integrated I", u"Integrated Camera: Integrated IR Camera"},
        {"no product string", std::nullopt, std::string("UVC Camera"), "UVC Camera (1d6b:0104): UVC Cam",
         u"UVC Camera (1d6b:0104): UVC Camera"},
        {"a character cut in half", umlauts, std::string("UVC Camera"), umlauts.substr(0, 31),
         u"\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4: UVC "
         u"Camera"},
        {"no function name", std::string("A product name longer than the kernel keeps"), std::nullopt,
         "A product name longer than the ", u"A product name longer than the kernel keeps"},
        {"another function name than the interface's", std::string("Integrated Camera"), std::string("Other"),
         "Integrated Camera: Integrated I", u"Integrated Camera: Integrated I"},
        {"cannot be made whole: half a character goes", std::string("Other"), std::nullopt, umlauts.substr(0, 31),
         u"\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4"},
        {"cannot be made whole: bad bytes inside stay", std::string("Other"), std::nullopt,
         "Bad \xFF bytes, then half of \xE6\x91\x84\xE6\x91", u"Bad \xFFFD bytes, then half of \x6444"},
        {"30 bytes: not cut", std::string("Integrated Camera"), std::string("Integrated IR Camera"),
         "Integrated Camera: Integrated ", u"Integrated Camera: Integrated "},
        {"31 bytes that are the whole name", std::string("Integrated Camera"), std::string("Integrated I"),
         "Integrated Camera: Integrated I", u"Integrated Camera: Integrated I"},
        {"the 31st byte differs", std::string("Integrated Camera"), std::string("Integrated XR Camera"),
         "Integrated Camera: Integrated I", u"Integrated Camera: Integrated I"},
        {"32 bytes: not a name the kernel cut", std::string("Other"), std::nullopt, "x" + umlauts.substr(0, 31),
         u"x\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\xFFFD"},
    };
    const std::size_t count = sizeof cases / sizeof cases[0];
    for (std::size_t i = 0; i < count; ++i) {
        const auto& c = cases[i];
        const fs::path device = usbDevice("3-" + std::to_string(i + 1), "1d6b", "0104", c.product);
        node(usbInterface(device, "00", c.function), "video" + std::to_string(i), c.kernelName + "\n");
    }
    // A node that is no USB device has nothing to be made whole from.
    node(sys() / "devices/platform/vivid.0", "video" + std::to_string(count), umlauts.substr(0, 31) + "\n");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), count + 1);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(cameras[i].name, cases[i].name) << cases[i].what;
    EXPECT_EQ(cameras[count].name, cases[5].name) << "platform device";
}

// uvcvideo puts the interface association's iFunction text after ": " where
// it names one, and the interface's own iInterface text (its `interface`
// attribute, the only one sysfs shows) only where it does not.
TEST_F(SysfsTree, NamesAreMadeWholeOnlyFromTheFunctionsOwnString) {
    using namespace usb_blobs;
    const std::u16string whole = u"Integrated Camera: Integrated IR Camera";
    const std::u16string cut = u"Integrated Camera: Integrated I";
    const struct {
        const char* what;
        std::optional<std::string> descriptors;
        std::optional<std::string> configuration;  // bConfigurationValue
        std::u16string name;
    } cases[] = {
        {"the association names the function with another string",
         device() + configuration(1, association(0, 2, 5) + interface(0, 0, 4)), "1", cut},
        {"the association names it with the interface's string",
         device() + configuration(1, association(0, 2, 4) + interface(0, 0, 4)), "1", whole},
        {"the association names nothing", device() + configuration(1, association(0, 2, 0) + interface(0, 0, 4)), "1",
         whole},
        {"no association", device() + configuration(1, interface(0, 0, 4)), "1", whole},
        {"an association of other interfaces", device() + configuration(1, association(1, 2, 5) + interface(0, 0, 4)),
         "1", whole},
        {"another string in a configuration that is not active",
         device() + configuration(2, association(0, 2, 5) + interface(0, 0, 4)) +
             configuration(1, association(0, 2, 4) + interface(0, 0, 4)),
         "1", whole},
        {"the active configuration comes second",
         device() + configuration(1, association(0, 2, 4) + interface(0, 0, 4)) +
             configuration(2, association(0, 2, 4) + interface(0, 0, 4)),
         "2", whole},
        {"another string in the second configuration, the active one",
         device() + configuration(1, interface(0, 0, 4)) + configuration(2, association(0, 2, 5) + interface(0, 0, 4)),
         "2", cut},
        {"no descriptors", std::nullopt, "1", whole},
        {"no active configuration", device() + configuration(1, association(0, 2, 5) + interface(0, 0, 4)), "", whole},
        {"descriptors cut short",
         (device() + configuration(1, association(0, 2, 5) + interface(0, 0, 4))).substr(0, 30), "1", whole},
        {"nonsense", std::string(64, '\xff'), "1", whole},
    };
    const std::size_t count = sizeof cases / sizeof cases[0];
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path device =
            usbDevice("3-" + std::to_string(i + 1), "0bda", "58f4", std::string("Integrated Camera"));
        if (cases[i].descriptors) file(device / "descriptors", *cases[i].descriptors);
        if (cases[i].configuration) file(device / "bConfigurationValue", *cases[i].configuration + "\n");
        node(usbInterface(device, "00", std::string("Integrated IR Camera")), "video" + std::to_string(i),
             "Integrated Camera: Integrated I\n");
    }
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), count);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(cameras[i].name, cases[i].name) << cases[i].what;
}

}  // namespace

}  // namespace camera_info

// The Linux registry over sysfs trees built in a temporary directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "no_hang.h"
#include "on_disk.h"
#include "sysfs_registry.h"
#include "sysfs_tree.h"
#include "video_input_devices.h"

namespace fs = std::filesystem;

namespace {

// A throw-away /sys and /dev.
class SysfsTree : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        fs::create_directories(dev());
    }

    fs::path sys() const { return root() / "sys"; }
    fs::path dev() const { return root() / "dev"; }

    // Helpers of the builder, under the names the tests read best with.
    void file(const fs::path& path, const std::string& content) { tree().file(path, content); }
    fs::path usbDevice(const std::string& port, const std::string& vid, const std::string& pid,
                       const std::optional<std::string>& product) {
        return tree().usbDevice(port, vid, pid, product);
    }
    fs::path usbInterface(const fs::path& device, const std::string& number,
                          const std::optional<std::string>& function = std::nullopt) {
        return tree().usbInterface(device, number, function);
    }
    fs::path node(const fs::path& parent, const std::string& name, const std::string& friendlyName,
                  std::optional<std::string> index = std::string("0"), bool linkDevice = true) {
        return tree().node(parent, name, friendlyName, index, linkDevice);
    }
    SysfsTreeBuilder tree() const { return SysfsTreeBuilder(sys()); }

    CameraList list(std::int32_t* count = nullptr) {
        SysfsRegistry registry(sys().string(), dev().string());
        CameraList cameras;
        const std::int32_t n = listVideoInputDevices(registry, cameras);
        if (count) *count = n;
        EXPECT_EQ(static_cast<std::size_t>(n), cameras.size());
        return cameras;
    }

    // The display name of the node listed as `entry`, or "(not listed)".
    std::u16string displayNameOf(const std::string& entry) {
        SysfsRegistry registry(sys().string(), dev().string());
        Handle enumerator = 0, classEnumerator = 0, moniker = 0;
        if (registry.createDeviceEnumerator(enumerator) != kStatusOk) {
            ADD_FAILURE() << "no device enumerator";
            return u"(no device enumerator)";
        }
        // A failed expectation must not go on to use a handle that is not there.
        if (registry.createClassEnumerator(enumerator, classEnumerator) != kStatusOk) {
            registry.release(HandleKind::DeviceEnumerator, enumerator);
            return u"(not listed)";
        }
        std::optional<std::u16string> text;
        while (registry.nextDevice(classEnumerator, moniker) == kStatusOk) {
            std::optional<std::u16string> shown;
            registry.displayName(moniker, shown);
            if (shown && shown->find(u16(entry)) != std::u16string::npos) text = shown;
            registry.release(HandleKind::Moniker, moniker);
        }
        registry.release(HandleKind::ClassEnumerator, classEnumerator);
        registry.release(HandleKind::DeviceEnumerator, enumerator);
        return text.value_or(u"(not listed)");
    }

    static std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
};

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
    SysfsRegistry registry(sys().string(), dev().string());
    Handle enumerator = 0, classEnumerator = 0;
    ASSERT_EQ(registry.createDeviceEnumerator(enumerator), kStatusOk);
    EXPECT_EQ(registry.createClassEnumerator(enumerator, classEnumerator), kStatusFalse);
    EXPECT_EQ(classEnumerator, Handle{0});
    registry.release(HandleKind::DeviceEnumerator, enumerator);

    fs::create_directories(sys() / "class/video4linux");
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

TEST_F(SysfsTree, DanglingEntriesAndNodesThatOpenButAreNotDevices) {
    const fs::path interface = usbInterface(usbDevice("3-1", "1111", "2222", std::nullopt), "00");
    fs::create_directories(sys() / "class/video4linux");
    fs::create_directory_symlink("../../devices/gone/video4linux/video0", sys() / "class/video4linux/video0");
    node(interface, "video1", "Kept\n", "0");
    node(interface, "video3", "Metadata\n", "1");
    // The /dev nodes open but answer no capability query: the index decides.
    file(dev() / "video1", "");
    file(dev() / "video3", "");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, u"Kept");
}

TEST_F(SysfsTree, AHostileTree) {
    fs::create_directories(sys() / "class/video4linux");
    fs::create_directory_symlink("../../devices/gone/video0", sys() / "class/video4linux/video0");

    const fs::path dangling = node(sys() / "devices/platform/x", "video1", "Dangling device\n", std::string("0"), false);
    fs::create_directory_symlink("../../../../nowhere", dangling / "device");

    const fs::path indexDir = node(sys() / "devices/platform/y", "video2", "Index dir\n", std::nullopt, false);
    fs::create_directory(indexDir / "index");

    const fs::path noIds = usbInterface(usbDevice("3-3", "1111", "2222", std::string("Product")), "00");
    fs::remove(noIds.parent_path() / "idVendor");
    fs::create_directory(noIds.parent_path() / "idVendor");
    node(noIds, "video3", "No ids\n");

    const fs::path noName = node(usbInterface(usbDevice("3-4", "3333", "4444", std::string("Its product")), "00"),
                                 "video4", "");
    fs::remove(noName / "name");
    fs::create_directory(noName / "name");

    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 4u);
    const std::u16string names[] = {u"Dangling device", u"Index dir", u"No ids", u"Its product"};
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(cameras[i].name, names[i]) << i;
    EXPECT_EQ(cameras[2].vid, u"");
    EXPECT_EQ(cameras[3].vid, u"3333");
    EXPECT_EQ(cameras[3].pid, u"4444");
}

TEST_F(SysfsTree, AttributesThatAreNotFilesAreUnreadableAndNeverBlock) {
    // Real sysfs holds only regular files; a doctored tree may hold FIFOs
    // nobody writes to, or a device linked in as an attribute.
    const fs::path a = node(usbInterface(usbDevice("3-1", "aaaa", "bbbb", std::string("Product A")), "00"), "video0", "");
    tree().fifo(a / "name");
    const fs::path bDevice = usbDevice("3-2", "cccc", "dddd", std::nullopt);
    const fs::path b = node(usbInterface(bDevice, "00"), "video1", "Named B\n");
    tree().fifo(bDevice / "product");
    tree().fifo(b / "index");
    const fs::path cDevice = usbDevice("3-3", "eeee", "ffff", std::string("Product C"));
    node(usbInterface(cDevice, "00"), "video2", "No ids\n");
    tree().fifo(cDevice / "idVendor");
    const fs::path d = node(usbInterface(usbDevice("3-4", "1111", "2222", std::string("Product D")), "00"), "video3", "");
    fs::remove(d / "name");
    fs::create_symlink("/dev/zero", d / "name");
    const fs::path e = node(sys() / "devices/platform/e", "video4", "Device node FIFO\n", std::string("0"), false);
    file(e / "dev", "81:4\n");
    tree().fifo(dev() / "video4");
    tree().fifo(dev() / "char/81:4");

    CameraList cameras;
    ASSERT_TRUE(finishesUnaided([&] { cameras = list(); },
                                {a / "name", bDevice / "product", b / "index", cDevice / "idVendor", dev() / "video4",
                                 dev() / "char/81:4"}))
        << "the registry waited on a FIFO";
    ASSERT_EQ(cameras.size(), 5u);
    EXPECT_EQ(cameras[0].name, u"Product A");  // no readable name: the description stands in
    EXPECT_EQ(cameras[0].vid, u"aaaa");
    EXPECT_EQ(cameras[1].name, u"Named B");  // an unreadable index: not a metadata twin
    EXPECT_EQ(cameras[2].name, u"No ids");
    EXPECT_EQ(cameras[2].vid, u"");  // without both ids it is no USB device
    EXPECT_EQ(cameras[3].name, u"Product D");
    EXPECT_EQ(cameras[4].name, u"Device node FIFO");
}

TEST_F(SysfsTree, AttributesAreReadUpToOnePage) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const fs::path device = usbDevice("3-1", std::string(3 * page, 'a'), std::string(page - 1, 'b'), std::nullopt);
    node(usbInterface(device, "00"), "video0", "Camera\n");
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].vid, std::u16string(page, u'a'));  // the first page, nothing more
    EXPECT_EQ(cameras[0].pid, std::u16string(page - 1, u'b'));  // a page with its line feed is whole
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
         u"\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4: UVC Camera"},
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

}  // namespace

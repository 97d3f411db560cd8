// The Linux registry over sysfs trees built in a temporary directory.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "sysfs_registry.h"
#include "sysfs_tree.h"
#include "video_input_devices.h"

namespace fs = std::filesystem;

namespace {

// A throw-away /sys and /dev.
class SysfsTree : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "camera-sysfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        // The registry resolves links, so compare against resolved paths.
        root_ = fs::canonical(pattern);
        fs::create_directories(dev());
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path sys() const { return root_ / "sys"; }
    fs::path dev() const { return root_ / "dev"; }

    // Helpers of the builder, under the names the tests read best with.
    void file(const fs::path& path, const std::string& content) { tree().file(path, content); }
    fs::path usbDevice(const std::string& port, const std::string& vid, const std::string& pid,
                       const std::optional<std::string>& product) {
        return tree().usbDevice(port, vid, pid, product);
    }
    fs::path usbInterface(const fs::path& device, const std::string& number) {
        return tree().usbInterface(device, number);
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

    std::u16string displayNameOf(const std::string& entry) {
        SysfsRegistry registry(sys().string(), dev().string());
        Handle enumerator = 0, classEnumerator = 0, moniker = 0;
        EXPECT_EQ(registry.createDeviceEnumerator(enumerator), kStatusOk);
        EXPECT_EQ(registry.createClassEnumerator(enumerator, classEnumerator), kStatusOk);
        std::optional<std::u16string> text;
        while (registry.nextDevice(classEnumerator, moniker) == kStatusOk) {
            std::optional<std::u16string> shown;
            registry.displayName(moniker, shown);
            if (shown && shown->find(std::u16string(entry.begin(), entry.end())) != std::u16string::npos) text = shown;
            registry.release(HandleKind::Moniker, moniker);
        }
        registry.release(HandleKind::ClassEnumerator, classEnumerator);
        registry.release(HandleKind::DeviceEnumerator, enumerator);
        return text.value_or(u"(not listed)");
    }

    static std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

    fs::path root_;
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

}  // namespace

// The Linux registry over sysfs trees built in a temporary directory.
#include <gtest/gtest.h>

#include <linux/videodev2.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <fstream>

#include "allocation_probe.h"
#include "no_hang.h"
#include "on_disk.h"
#include "sysfs_registry.h"
#include "sysfs_tree.h"
#include "usb_descriptors.h"
#include "usb_blobs.h"
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

    CameraList list(std::int32_t* count = nullptr) { return listWith(kernelQueries(), count); }
    CameraList listWith(const DeviceQueries& queries, std::int32_t* count = nullptr) {
        SysfsRegistry registry(sys().string(), dev().string(), queries);
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

TEST_F(SysfsTree, ALinkIsFollowedBeforeItsDotDot) {
    // The class entry steps through a link, then back up: ".." leaves where
    // the link leads, as the kernel resolves it, not where the link stands.
    file(sys() / "devices/platform/b/video4linux/video0/name", "Where the link stands\n");
    file(sys() / "devices/elsewhere/b/video4linux/video0/name", "Where the link leads\n");
    tree().link(sys() / "devices/platform/hop", sys() / "devices/elsewhere/deep");
    fs::create_directories(sys() / "class/video4linux");
    fs::create_directory_symlink("../../devices/platform/hop/../b/video4linux/video0", sys() / "class/video4linux/video0");
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, u"Where the link leads");
    EXPECT_EQ(displayNameOf("video0"), u16((sys() / "devices/elsewhere/b/video4linux/video0").string()));
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

TEST_F(SysfsTree, WhatIsNotAFileOrTheNodesOwnDeviceIsNeverOpened) {
    // Opening a FIFO is a deed of its own: a writer waiting on it would be let
    // through. The registry looks before it opens.
    const fs::path named = node(usbInterface(usbDevice("3-1", "aaaa", "bbbb", std::string("Product")), "00"), "video0", "");
    tree().fifo(named / "name");
    const fs::path platform = node(sys() / "devices/platform/p", "video1", "Platform\n", std::string("0"), false);
    file(platform / "dev", "81:1\n");
    tree().fifo(dev() / "video1");
    // A FIFO's "device number" is 0: it must not pass for a device of that number.
    const fs::path zero = node(sys() / "devices/platform/z", "video2", "Zero\n", std::string("0"), false);
    file(zero / "dev", "0:0\n");
    tree().fifo(dev() / "video2");
    std::vector<std::thread> writers;
    std::atomic<int> through{0};
    for (const fs::path& fifo : {named / "name", dev() / "video1", dev() / "video2"}) {
        writers.emplace_back([fifo, &through] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for a reader
            ++through;
            if (fd >= 0) ::close(fd);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writers are waiting by now
    const CameraList cameras = list();
    // A writer let through needs a moment to say so; one still waiting never does.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(through.load(), 0) << "a FIFO was opened";
    for (const fs::path& fifo : {named / "name", dev() / "video1", dev() / "video2"}) {
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writers go
        if (reader >= 0) ::close(reader);
    }
    for (std::thread& writer : writers) writer.join();
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].name, u"Product");
    EXPECT_EQ(cameras[1].name, u"Platform");
    EXPECT_EQ(cameras[2].name, u"Zero");
}

TEST_F(SysfsTree, UsbIdsAreOnlyTheKernelsFourHexDigits) {
    const struct {
        const char* idVendor;
        const char* idProduct;
        const char16_t* vid;
        const char16_t* pid;
    } cases[] = {
        {"046d\n", "0825\n", u"046d", u"0825"},
        {"046d", "0825", u"046d", u"0825"},  // without a line feed
        {"046D\n", "0825\n", u"", u""},      // the kernel writes lower case
        {"46d\n", "0825\n", u"", u""},
        {"046d0\n", "0825\n", u"", u""},
        {"046d\n", "&pid_1234\n", u"", u""},
        {"&pid_\n", "0825\n", u"", u""},
        {"04 6d\n", "0825\n", u"", u""},
        {"046d\n\n", "0825\n", u"", u""},
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

TEST_F(SysfsTree, LargeAttributesCostAPageEach) {
    // Sparse files of a gigabyte each read as zeros; only a page of each may be taken.
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const fs::path device = usbDevice("3-1", "1a2b", "3c4d", std::nullopt);
    const fs::path interface = usbInterface(device, "00");
    const fs::path capture = node(interface, "video0", "");
    for (const fs::path& attribute : {capture / "name", capture / "dev", device / "product",
                                      device / "idVendor", interface / "interface"}) {
        file(attribute, "");
        fs::resize_file(attribute, std::uintmax_t{1} << 30);
    }
    CameraList cameras;
    const std::optional<std::size_t> largest = largestAllocationDuring([&] { cameras = list(); });
    if (largest) {
        EXPECT_LE(*largest, 4 * page);
    }
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, u"");  // a name of NULs ends at the first
    EXPECT_EQ(cameras[0].vid, u"");
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

// Device nodes stand in for the tree's video nodes through links to the
// machine's own character devices; a stand-in for VIDIOC_QUERYCAP answers
// by the number of the device that was opened.
class DeviceNodes : public SysfsTree {
protected:
    void SetUp() override {
        SysfsTree::SetUp();
        for (const char* device : {"/dev/null", "/dev/zero"}) {
            struct stat seen {};
            if (::stat(device, &seen) != 0 || !S_ISCHR(seen.st_mode)) GTEST_SKIP() << device << " is not here";
        }
    }
    // A node whose `dev` says `number`, with index 1 so that it is listed only
    // when a device node answered for it.
    void nodeWithNumber(const std::string& name, const std::string& number) {
        const fs::path dir = node(sys() / "devices/platform/nodes", name, name + "\n", std::string("1"));
        file(dir / "dev", number + "\n");
    }
    void link(const std::string& path, const std::string& target) {
        fs::create_directories((dev() / path).parent_path());
        fs::create_symlink(target, dev() / path);
    }
    // Answers `caps` for the device `answering`, nothing for any other.
    static DeviceQueries answering(dev_t answering, std::uint32_t caps) {
        return DeviceQueries{[answering, caps](int fd) -> std::optional<std::uint32_t> {
                                 struct stat seen {};
                                 if (::fstat(fd, &seen) != 0 || !S_ISCHR(seen.st_mode) || seen.st_rdev != answering)
                                     return std::nullopt;
                                 return caps;
                             },
                             noGraphs};
    }
    static std::optional<MediaTopology> noGraphs(int) { return std::nullopt; }
    std::vector<std::u16string> namesWith(const DeviceQueries& queries) {
        std::vector<std::u16string> names;
        for (const CameraInfo& camera : listWith(queries)) names.push_back(camera.name);
        return names;
    }
};

TEST_F(DeviceNodes, OnlyTheNodeWithTheEntrysNumberAnswers) {
    // Without the kernel's dev/char links (entries' `dev` read), and with them.
    for (const bool kernelLinks : {false, true}) {
        fs::remove_all(sys());
        fs::remove_all(dev());
        fs::create_directories(dev());
        nodeWithNumber("video0", "1:3");  // udev's link to it
        link("char/1:3", "/dev/null");
        nodeWithNumber("video1", "1:5");  // /dev/<name> where no link was made
        link("video1", "/dev/zero");
        nodeWithNumber("video2", "1:5");  // a stale node of another device under its name
        link("video2", "/dev/null");
        nodeWithNumber("video3", "0:0");  // a regular file, whose "device number" is 0
        file(dev() / "video3", "");
        nodeWithNumber("video4", "3:1");  // the numbers of /dev/null the wrong way round
        link("video4", "/dev/null");
        if (kernelLinks) {
            const fs::path nodes = sys() / "devices/platform/nodes/video4linux";
            for (const auto& [number, owner] : {std::pair{"1:3", "video0"}, {"1:5", "video1"}, {"3:1", "video4"}})
                tree().link(sys() / "dev/char" / number, nodes / owner);
        }
        const DeviceQueries both{[](int fd) -> std::optional<std::uint32_t> {
            struct stat seen {};
            if (::fstat(fd, &seen) != 0) return std::nullopt;
            return V4L2_CAP_VIDEO_CAPTURE;  // whatever was opened says it captures
        }, noGraphs};
        EXPECT_EQ(namesWith(both), (std::vector<std::u16string>{u"video0", u"video1"})) << kernelLinks;
    }
}

// A sleeping USB camera whose class entry is not the kernel's link into
// devices/: reached through a dev/char link that leads to the class link, or
// an old kernel's real class directory whose `device` link names the USB
// device itself, with and without the dev/char link. Its ids are found, and
// it is not opened.
TEST_F(DeviceNodes, ClassEntriesOfOtherShapesStillLeadToTheirDevice) {
    enum class Shape { CharLinkToClassLink, OldClassDirectory, OldClassDirectoryWithoutCharLinks };
    for (const Shape shape : {Shape::CharLinkToClassLink, Shape::OldClassDirectory, Shape::OldClassDirectoryWithoutCharLinks}) {
        fs::remove_all(sys());
        fs::remove_all(dev());
        fs::create_directories(dev());
        const fs::path device = usbDevice("3-1", "0bda", "58f4", std::string("Webcam"));
        file(device / "power/runtime_status", "suspended\n");
        const fs::path entry = sys() / "class/video4linux/video0";
        if (shape == Shape::CharLinkToClassLink) {
            file(node(usbInterface(device, "00"), "video0", "Webcam: Webcam\n") / "dev", "1:3\n");
        } else {
            file(entry / "name", "Webcam: Webcam\n");
            file(entry / "index", "0\n");
            file(entry / "dev", "1:3\n");
            fs::create_directory_symlink(fs::relative(device, entry), entry / "device");
        }
        if (shape != Shape::OldClassDirectoryWithoutCharLinks) {
            fs::create_directories(sys() / "dev/char");
            fs::create_directory_symlink("../../class/video4linux/video0", sys() / "dev/char/1:3");
        }
        link("video0", "/dev/null");
        const DeviceQueries opening{[&](int) -> std::optional<std::uint32_t> {
                                        ADD_FAILURE() << static_cast<int>(shape) << ": the sleeping camera was opened";
                                        return V4L2_CAP_VIDEO_CAPTURE;
                                    },
                                    noGraphs};
        const CameraList cameras = listWith(opening);
        ASSERT_EQ(cameras.size(), 1u) << static_cast<int>(shape);
        EXPECT_EQ(cameras[0].name, u"Webcam: Webcam") << static_cast<int>(shape);
        EXPECT_EQ(cameras[0].vid, u"0bda") << static_cast<int>(shape);
        EXPECT_EQ(cameras[0].pid, u"58f4") << static_cast<int>(shape);
    }
}

TEST_F(DeviceNodes, OnlyNodesThatCaptureAndNeitherOutputNorConvertCount) {
    const struct {
        std::uint32_t caps;
        bool listed;
    } cases[] = {
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING, true},
        {V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_STREAMING, true},
        {V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING, false},
        {V4L2_CAP_VIDEO_OUTPUT, false},
        {V4L2_CAP_VIDEO_OUTPUT_MPLANE, false},
        {V4L2_CAP_VIDEO_M2M, false},
        {V4L2_CAP_VIDEO_M2M_MPLANE, false},
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT, false},
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT_MPLANE, false},
        {V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_M2M, false},
        {V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_VIDEO_M2M_MPLANE, false},
    };
    nodeWithNumber("video0", "1:3");
    link("char/1:3", "/dev/null");
    fs::remove(sys() / "devices/platform/nodes/video4linux/video0/index");  // no index: the answer alone decides
    for (const auto& c : cases) {
        EXPECT_EQ(namesWith(answering(makedev(1, 3), c.caps)).size(), c.listed ? 1u : 0u) << std::hex << c.caps;
    }
}

TEST_F(DeviceNodes, NodesThatOpenWithoutAnsweringFallBackOnTheirIndex) {
    nodeWithNumber("video0", "1:3");
    link("char/1:3", "/dev/null");
    EXPECT_TRUE(namesWith(answering(makedev(1, 5), V4L2_CAP_VIDEO_CAPTURE)).empty());
    file(sys() / "devices/platform/nodes/video4linux/video0/index", "0\n");
    EXPECT_EQ(namesWith(answering(makedev(1, 5), V4L2_CAP_VIDEO_CAPTURE)).size(), 1u);
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
        {"descriptors cut short", (device() + configuration(1, association(0, 2, 5) + interface(0, 0, 4))).substr(0, 30),
         "1", whole},
        {"nonsense", std::string(64, '\xff'), "1", whole},
    };
    const std::size_t count = sizeof cases / sizeof cases[0];
    for (std::size_t i = 0; i < count; ++i) {
        const fs::path device = usbDevice("3-" + std::to_string(i + 1), "0bda", "58f4", std::string("Integrated Camera"));
        if (cases[i].descriptors) file(device / "descriptors", *cases[i].descriptors);
        if (cases[i].configuration) file(device / "bConfigurationValue", *cases[i].configuration + "\n");
        node(usbInterface(device, "00", std::string("Integrated IR Camera")), "video" + std::to_string(i),
             "Integrated Camera: Integrated I\n");
    }
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), count);
    for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(cameras[i].name, cases[i].name) << cases[i].what;
}

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

// Media devices stand in through links to the machine's own character
// devices, as video nodes do; a stand-in for MEDIA_IOC_G_TOPOLOGY answers
// each with a graph of the test's, and counts how often it is asked.
class MediaDevices : public DeviceNodes {
protected:
    // A node of a platform device, which is no USB device; its number is
    // 81:<minor>, and nothing in /dev answers for it.
    fs::path platformNode(const std::string& parent, unsigned minor, const std::string& name) {
        const fs::path dir = node(sys() / "devices/platform" / parent, "video" + std::to_string(minor), name + "\n");
        file(dir / "dev", "81:" + std::to_string(minor) + "\n");
        return dir;
    }
    // /sys/bus/media/devices/<name> whose device node is `target`.
    void mediaDevice(const std::string& name, const std::string& number, const std::string& target) {
        const fs::path dir = sys() / "devices/platform/isys" / name;
        file(dir / "dev", number + "\n");
        fs::create_directories(sys() / "bus/media/devices");
        fs::create_directory_symlink(fs::relative(dir, sys() / "bus/media/devices"), sys() / "bus/media/devices" / name);
        link("char/" + number, target);
    }
    DeviceQueries graphs(std::map<dev_t, MediaTopology> byDevice) {
        return DeviceQueries{[](int) { return std::optional<std::uint32_t>(); },
                             [this, byDevice](int fd) -> std::optional<MediaTopology> {
                                 ++reads;
                                 struct stat seen {};
                                 if (::fstat(fd, &seen) != 0) return std::nullopt;
                                 const auto found = byDevice.find(seen.st_rdev);
                                 if (found == byDevice.end()) return std::nullopt;
                                 return found->second;
                             }};
    }
    // A CSI-2 receiver with `sensor` on it, feeding the nodes 81:<minors>.
    static MediaTopology receiverGraph(const std::string& sensor, std::vector<std::uint32_t> minors) {
        MediaTopology t;
        std::uint32_t next = 1;
        const auto entity = [&](const std::string& name, std::uint32_t function) {
            t.entities.push_back({next, name, function});
            return next++;
        };
        const auto pad = [&](std::uint32_t entity, std::uint32_t flags) {
            t.pads.push_back({next, entity, flags});
            return next++;
        };
        const std::uint32_t csi = entity("CSI2 0", 0x00005002);
        const std::uint32_t csiIn = pad(csi, media::kPadSink);
        if (!sensor.empty()) {
            const std::uint32_t s = entity(sensor, media::kFunctionCameraSensor);
            t.links.push_back({next++, pad(s, media::kPadSource), csiIn, 0});
        }
        for (const std::uint32_t minor : minors) {
            const std::uint32_t capture = entity("Capture " + std::to_string(minor), media::kFunctionVideoNode);
            t.links.push_back({next++, pad(csi, media::kPadSource), pad(capture, media::kPadSink), 0});
            t.interfaces.push_back({next, 0x200, 81, minor});
            t.links.push_back({next + 1, next, capture, media::kInterfaceLink});
            next += 2;
        }
        return t;
    }
    int reads = 0;
};

TEST_F(MediaDevices, SensorsStandInThePlaceOfTheNodesTheyFeed) {
    const fs::path webcam = usbDevice("3-1", "0bda", "58f4", std::string("Webcam"));
    const fs::path uvc = node(usbInterface(webcam, "00"), "video0", "Webcam: Webcam\n");
    file(uvc / "dev", "81:0\n");
    for (unsigned minor = 1; minor <= 4; ++minor) platformNode("isys", minor, "Intel IPU6 ISYS Capture " + std::to_string(minor));
    platformNode("vivid.0", 5, "vivid-000-vid-cap");
    mediaDevice("media0", "1:3", "/dev/null");
    mediaDevice("media1", "1:5", "/dev/zero");
    // The webcam's own graph would call it after its camera terminal.
    const DeviceQueries queries = graphs({{makedev(1, 3), receiverGraph("ov2740 14-0036", {1, 2})},
                                          {makedev(1, 5), receiverGraph("Camera 1", {0})}});
    const CameraList cameras = listWith(queries);
    ASSERT_EQ(cameras.size(), 5u);
    EXPECT_EQ(cameras[0].name, u"Webcam: Webcam");
    EXPECT_EQ(cameras[0].vid, u"0bda");
    EXPECT_EQ(cameras[1].name, u"ov2740");
    EXPECT_EQ(cameras[1].vid, u"");
    EXPECT_EQ(cameras[1].pid, u"");
    EXPECT_EQ(cameras[2].name, u"Intel IPU6 ISYS Capture 3");  // in no graph: as it is
    EXPECT_EQ(cameras[3].name, u"Intel IPU6 ISYS Capture 4");
    EXPECT_EQ(cameras[4].name, u"vivid-000-vid-cap");
    EXPECT_EQ(reads, 2) << "each media device is read once";
}

TEST_F(MediaDevices, NodesOfAGraphThatCannotBeReadStayAsTheyAre) {
    for (unsigned minor = 0; minor < 3; ++minor) platformNode("isys", minor, "Capture " + std::to_string(minor));
    mediaDevice("media0", "1:3", "/dev/zero");  // the wrong device: never asked
    mediaDevice("media1", "1:7", "/dev/full");  // asked, and it does not answer
    const CameraList cameras = listWith(graphs({{makedev(1, 3), receiverGraph("ov2740 14-0036", {0, 1, 2})}}));
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].name, u"Capture 0");
    EXPECT_EQ(reads, 1);
}

TEST_F(MediaDevices, NodesFedByNothingLeaveAnEmptyCategory) {
    for (unsigned minor = 0; minor < 8; ++minor) platformNode("isys", minor, "Capture " + std::to_string(minor));
    mediaDevice("media0", "1:3", "/dev/null");
    SysfsRegistry registry(sys().string(), dev().string(), graphs({{makedev(1, 3), receiverGraph("", {0, 1, 2, 3, 4, 5, 6, 7})}}));
    Handle enumerator = 0, classEnumerator = 0;
    ASSERT_EQ(registry.createDeviceEnumerator(enumerator), kStatusOk);
    EXPECT_EQ(registry.createClassEnumerator(enumerator, classEnumerator), kStatusFalse);
    EXPECT_EQ(classEnumerator, Handle{0});
    registry.release(HandleKind::DeviceEnumerator, enumerator);
}

TEST_F(MediaDevices, AWebcamsGraphNeverRenamesIt) {
    for (int i = 0; i < 3; ++i) {
        const fs::path device = usbDevice("3-" + std::to_string(i + 1), "0bda", "58f4", std::string("Webcam"));
        file(node(usbInterface(device, "00"), "video" + std::to_string(i), "Webcam\n") / "dev",
             "81:" + std::to_string(i) + "\n");
    }
    mediaDevice("media0", "1:3", "/dev/null");
    const CameraList cameras = listWith(graphs({{makedev(1, 3), receiverGraph("Camera 1", {0, 1, 2})}}));
    ASSERT_EQ(cameras.size(), 3u);
    for (const CameraInfo& camera : cameras) EXPECT_EQ(camera.name, u"Webcam");
    EXPECT_EQ(reads, 1);
}

// A webcam as uvcvideo makes it: a capture node and its metadata twin, and
// the graph of its USB function, in which the capture node's entity takes
// pictures in and the metadata node's has no pad. Asleep or awake, with or
// without that graph: a node on USB is opened only where nothing else tells
// and the camera is awake anyway.
TEST_F(MediaDevices, AWebcamIsNeverWokenToBeListed) {
    enum class Graph { Held, Unreadable, None };
    // The USB device's power/runtime_status: this text, a FIFO in its place,
    // no such file in power/, or no power/ at all.
    enum class Power { Text, Fifo, NoStatus, NoDirectory };
    const struct {
        const char* what;
        Graph graph;
        Power power;
        const char* runtimeStatus;
        bool asked;  // whether its nodes are opened
    } cases[] = {
        {"asleep, the graph tells", Graph::Held, Power::Text, "suspended", false},
        {"awake, the graph tells", Graph::Held, Power::Text, "active", false},
        {"asleep, no media device", Graph::None, Power::Text, "suspended", false},
        {"asleep, its graph cannot be read", Graph::Unreadable, Power::Text, "suspended", false},
        {"awake, no media device", Graph::None, Power::Text, "active", true},
        {"on its way to sleep", Graph::None, Power::Text, "suspending", false},
        {"on its way back", Graph::None, Power::Text, "resuming", false},
        {"in error", Graph::None, Power::Text, "error", false},
        {"a status no kernel writes", Graph::None, Power::Text, "", false},
        {"a status that cannot be read", Graph::None, Power::Fifo, "", false},
        {"a device without runtime power management", Graph::None, Power::Text, "unsupported", true},
        {"a kernel without runtime power management", Graph::None, Power::NoStatus, "", true},
        {"a kernel without power management", Graph::None, Power::NoDirectory, "", true},
    };
    const dev_t capture = makedev(1, 3), metadata = makedev(1, 5), media = makedev(1, 7);
    MediaTopology uvc;
    uvc.entities = {{1, "Webcam: Webcam", media::kFunctionVideoNode}, {2, "Webcam: Webcam", media::kFunctionVideoNode},
                    {3, "Camera 1", media::kFunctionCameraSensor}};
    uvc.pads = {{10, 1, media::kPadSink}, {11, 3, media::kPadSource}};
    uvc.interfaces = {{20, 0x200, 1, 3}, {21, 0x200, 1, 5}};
    uvc.links = {{30, 11, 10, media::kLinkEnabled}, {31, 20, 1, media::kInterfaceLink}, {32, 21, 2, media::kInterfaceLink}};
    for (const auto& c : cases) {
        fs::remove_all(sys());
        fs::remove_all(dev());
        fs::create_directories(dev());
        const fs::path device = usbDevice("3-1", "0bda", "58f4", std::string("Webcam"));
        const fs::path interface = usbInterface(device, "00");
        tree().number(node(interface, "video0", "Webcam: Webcam\n", "0"), "1:3");
        tree().number(node(interface, "video1", "Webcam: Webcam\n", "1"), "1:5");
        link("video0", "/dev/null");
        link("video1", "/dev/zero");
        switch (c.power) {
            case Power::Text: file(device / "power/runtime_status", std::string(c.runtimeStatus) + "\n"); break;
            case Power::Fifo: tree().fifo(device / "power/runtime_status"); break;
            case Power::NoStatus: file(device / "power/wakeup", "disabled\n"); break;
            case Power::NoDirectory: break;
        }
        if (c.graph != Graph::None) {
            tree().number(interface / "media0", "1:7");
            tree().link(sys() / "bus/media/devices/media0", interface / "media0");
            link("media0", "/dev/full");
        }
        std::vector<dev_t> opened;
        const DeviceQueries queries{
            [&](int fd) -> std::optional<std::uint32_t> {
                struct stat seen {};
                if (::fstat(fd, &seen) != 0) return std::nullopt;
                opened.push_back(seen.st_rdev);
                if (!c.asked) ADD_FAILURE() << c.what << ": a node of the camera was opened";
                if (seen.st_rdev == capture) return V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_DEVICE_CAPS;
                return V4L2_CAP_META_CAPTURE;
            },
            [&](int fd) -> std::optional<MediaTopology> {
                struct stat seen {};
                if (c.graph != Graph::Held || ::fstat(fd, &seen) != 0 || seen.st_rdev != media) return std::nullopt;
                return uvc;
            }};
        const CameraList cameras = listWith(queries);
        ASSERT_EQ(cameras.size(), 1u) << c.what;
        EXPECT_EQ(cameras[0].name, u"Webcam: Webcam") << c.what;
        EXPECT_EQ(cameras[0].vid, u"0bda") << c.what;
        const std::vector<dev_t> expected = c.asked ? std::vector<dev_t>{capture, metadata} : std::vector<dev_t>{};
        EXPECT_EQ(opened, expected) << c.what;
    }
}

TEST_F(MediaDevices, ASensorsNameIsItsModelAndCarriesNoIds) {
    platformNode("rapid_capture.0", 0, "Raw Capture 0");
    mediaDevice("media0", "1:3", "/dev/null");
    std::string cut = "imx219 vid_1234&pid_5678 x";  // 26 bytes, then a character cut in half
    cut += "\xC3\x84\xC3\x84\xC3\x84";
    cut.resize(31);
    const std::vector<std::pair<std::string, std::u16string>> names = {
        {"ov2740 14-0036", u"ov2740"},
        {"vid_1234&pid_5678 1-0010", u"vid_1234&pid_5678"},
        {cut, u"imx219 vid_1234&pid_5678 x\u00C4\u00C4"},
    };
    for (const auto& [entity, model] : names) {
        reads = 0;
        const CameraList cameras = listWith(graphs({{makedev(1, 3), receiverGraph(entity, {0})}}));
        ASSERT_EQ(cameras.size(), 1u) << entity;
        EXPECT_EQ(cameras[0].name, model) << entity;
        EXPECT_EQ(cameras[0].vid, u"") << entity;
        EXPECT_EQ(cameras[0].pid, u"") << entity;
    }
}

}  // namespace

// The Linux backend over doctored sysfs trees: entries that lead nowhere,
// links that lead elsewhere, FIFOs, devices and huge files where attributes
// should be. Nothing hangs, nothing is opened that is not what it looked
// like, and nothing swells.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "support/allocation_probe.h"
#include "support/linux_backend_fixtures.h"
#include "support/no_hang.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

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

    const fs::path dangling =
        node(sys() / "devices/platform/x", "video1", "Dangling device\n", std::string("0"), false);
    fs::create_directory_symlink("../../../../nowhere", dangling / "device");

    const fs::path indexDir = node(sys() / "devices/platform/y", "video2", "Index dir\n", std::nullopt, false);
    fs::create_directory(indexDir / "index");

    const fs::path noIds = usbInterface(usbDevice("3-3", "1111", "2222", std::string("Product")), "00");
    fs::remove(noIds.parent_path() / "idVendor");
    fs::create_directory(noIds.parent_path() / "idVendor");
    node(noIds, "video3", "No ids\n");

    const fs::path noName =
        node(usbInterface(usbDevice("3-4", "3333", "4444", std::string("Its product")), "00"), "video4", "");
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
    fs::create_directory_symlink("../../devices/platform/hop/../b/video4linux/video0",
                                 sys() / "class/video4linux/video0");
    const CameraList cameras = list();
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, u"Where the link leads");
    EXPECT_EQ(displayNameOf("video0"), u16((sys() / "devices/elsewhere/b/video4linux/video0").string()));
}

TEST_F(SysfsTree, AttributesThatAreNotFilesAreUnreadableAndNeverBlock) {
    // Real sysfs holds only regular files; a doctored tree may hold FIFOs
    // nobody writes to, or a device linked in as an attribute.
    const fs::path a =
        node(usbInterface(usbDevice("3-1", "aaaa", "bbbb", std::string("Product A")), "00"), "video0", "");
    tree().fifo(a / "name");
    const fs::path bDevice = usbDevice("3-2", "cccc", "dddd", std::nullopt);
    const fs::path b = node(usbInterface(bDevice, "00"), "video1", "Named B\n");
    tree().fifo(bDevice / "product");
    tree().fifo(b / "index");
    const fs::path cDevice = usbDevice("3-3", "eeee", "ffff", std::string("Product C"));
    node(usbInterface(cDevice, "00"), "video2", "No ids\n");
    tree().fifo(cDevice / "idVendor");
    const fs::path d =
        node(usbInterface(usbDevice("3-4", "1111", "2222", std::string("Product D")), "00"), "video3", "");
    fs::remove(d / "name");
    fs::create_symlink("/dev/zero", d / "name");
    const fs::path e = node(sys() / "devices/platform/e", "video4", "Device node FIFO\n", std::string("0"), false);
    file(e / "dev", "81:4\n");
    tree().fifo(dev() / "video4");
    tree().fifo(dev() / "char/81:4");

    CameraList cameras;
    ASSERT_TRUE(finishesUnaided(
        [&] { cameras = list(); },
        {a / "name", bDevice / "product", b / "index", cDevice / "idVendor", dev() / "video4", dev() / "char/81:4"}))
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
    const fs::path named =
        node(usbInterface(usbDevice("3-1", "aaaa", "bbbb", std::string("Product")), "00"), "video0", "");
    tree().fifo(named / "name");
    const fs::path platform = node(sys() / "devices/platform/p", "video1", "Platform\n", std::string("0"), false);
    file(platform / "dev", "81:1\n");
    tree().fifo(dev() / "video1");
    // A FIFO's "device number" is 0: it must not pass for a device of that number.
    const fs::path zero = node(sys() / "devices/platform/z", "video2", "Zero\n", std::string("0"), false);
    file(zero / "dev", "0:0\n");
    tree().fifo(dev() / "video2");
    std::vector<std::thread> writers;
    std::atomic<int> through{0}, finished{0};
    for (const fs::path& fifo : {named / "name", dev() / "video1", dev() / "video2"}) {
        writers.emplace_back([fifo, &through, &finished] {
            const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for a reader
            ++through;
            if (fd >= 0) ::close(fd);
            ++finished;
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writers are waiting by now
    const CameraList cameras = list();
    // A writer let through needs a moment to say so; one still waiting never does.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(through.load(), 0) << "a FIFO was opened";
    // The writers are let go until each has finished: on a loaded machine one
    // may not even be waiting yet when the first reader comes and goes.
    for (int round = 0; finished.load() < static_cast<int>(writers.size()) && round < 1000; ++round) {
        for (const fs::path& fifo : {named / "name", dev() / "video1", dev() / "video2"}) {
            const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
            if (reader >= 0) ::close(reader);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const bool allGone = finished.load() == static_cast<int>(writers.size());
    for (std::thread& writer : writers) allGone ? writer.join() : writer.detach();
    ASSERT_TRUE(allGone) << "a writer was never let go";
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].name, u"Product");
    EXPECT_EQ(cameras[1].name, u"Platform");
    EXPECT_EQ(cameras[2].name, u"Zero");
}

TEST_F(SysfsTree, LargeAttributesCostAPageEach) {
    // Sparse files of a gigabyte each read as zeros; only a page of each may be taken.
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const fs::path device = usbDevice("3-1", "1a2b", "3c4d", std::nullopt);
    const fs::path interface = usbInterface(device, "00");
    const fs::path capture = node(interface, "video0", "");
    for (const fs::path& attribute :
         {capture / "name", capture / "dev", device / "product", device / "idVendor", interface / "interface"}) {
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

}  // namespace

}  // namespace camera_info

// The whole program over built sysfs trees, mounted over /sys in a private
// mount namespace: what it writes, and that it exits with 0, for trees with
// devices. Skipped, with the reason, where the machine allows no namespace.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/no_hang.h"
#include "support/on_disk.h"
#include "support/program_run.h"
#include "support/sysfs_namespace.h"
#include "support/sysfs_tree.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

// The report of SysfsTreeBuilder::uvcCameras(count, attributeBytes), written
// out from the report's layout: one object per camera, members in name order;
// a padded name is cut to the 254 units the name buffer keeps.
std::string uvcCamerasReport(int count, std::size_t attributeBytes = 0) {
    if (count == 0) return "null\n";
    const auto padded = [attributeBytes](std::string text) {
        if (text.size() + 1 < attributeBytes) text.append(attributeBytes - text.size() - 1, '.');
        return text;
    };
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        char pid[16];
        std::snprintf(pid, sizeof pid, "%04x", i & 0xFFFF);
        text += std::string(i == 0 ? "" : ",") + "\n   {\n      \"name\" : \"" +
                padded("USB Camera " + std::to_string(i) + ": USB Camera").substr(0, 254) + "\",\n      \"pid\" : \"" +
                pid + "\",\n      \"vid\" : \"046d\"\n   }";
    }
    return text + "\n]\n";
}

class WholeProgram : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        fs::create_directories(work());
    }

    fs::path sys() const { return root() / "sys"; }
    fs::path work() const { return root() / "work"; }
    fs::path report() const { return work() / "CameraInfo.txt"; }

    // Runs camera-info in work() with sys() as its /sys.
    ProgramResult run() {
        return runProgram(CAMERA_INFO_EXE, work(), {}, root(), [this] { return enterFakeSysfs(sys()).empty(); });
    }
};

TEST_F(WholeProgram, ReportsEveryCameraAndExitsWithZero) {
    for (const int cameras : {1, 3}) {
        fs::remove_all(sys());
        SysfsTreeBuilder(sys()).uvcCameras(cameras);
        const ProgramResult result = run();
        EXPECT_EQ(result.exitCode, 0) << cameras;
        EXPECT_EQ(result.out + result.err, "") << cameras;
        EXPECT_EQ(slurp(report()), uvcCamerasReport(cameras)) << cameras;
    }
}

TEST_F(WholeProgram, ATreeWithoutVideoDevicesGivesNull) {
    fs::create_directories(sys() / "class/video4linux");
    const ProgramResult result = run();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(slurp(report()), "null\n");
}

TEST_F(WholeProgram, FifosInTheTreeAndInTheReportsPlaceNeverHoldItUp) {
    const SysfsTreeBuilder tree(sys());
    tree.uvcCameras(2);
    // The first camera's name and the second's product are FIFOs nobody writes.
    const fs::path firstName = sys() / "devices/pci0000:00/0000:00:14.0/usb3/3-1/3-1:1.00/video4linux/video0/name";
    const fs::path secondProduct = sys() / "devices/pci0000:00/0000:00:14.0/usb3/3-2/product";
    tree.fifo(firstName);
    tree.fifo(secondProduct);
    ASSERT_EQ(::mkfifo(report().c_str(), 0644), 0);

    ProgramResult result;
    ASSERT_TRUE(finishesUnaided([&] { result = run(); }, {firstName, secondProduct, report()}))
        << "the program waited on a FIFO";
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(fs::is_fifo(report()));

    // With somebody reading, the same run streams its report; the first
    // camera, without a name, is described by its product.
    fs::remove(report());
    const std::string expected = uvcCamerasReport(2);
    const std::string firstNamed = "USB Camera 0: USB Camera";
    std::string withProduct = expected;
    withProduct.replace(withProduct.find(firstNamed), firstNamed.size(), "Camera 0");
    ASSERT_EQ(::mkfifo(report().c_str(), 0644), 0);
    // The reader is there before the program starts, which does not wait for one.
    FifoReader reader(report());
    ASSERT_TRUE(reader.isOpen());
    std::string received;
    std::thread reading([&] { received = reader.readAll(512); });
    result = run();
    reading.join();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(received, withProduct);
}

TEST_F(WholeProgram, AReportLargerThanAPipeReachesASlowReaderWhole) {
    // Names that fill the name buffer make 400 cameras' report outgrow a pipe's buffer.
    SysfsTreeBuilder(sys()).uvcCameras(400, 4096);
    const std::string expected = uvcCamerasReport(400, 4096);
    ASSERT_GT(expected.size(), 64u * 1024);
    ASSERT_EQ(::mkfifo(report().c_str(), 0644), 0);
    FifoReader reader(report());
    ASSERT_TRUE(reader.isOpen());
    std::string received;
    std::thread reading([&] { received = reader.readAll(1000, std::chrono::milliseconds(1)); });
    const ProgramResult result = run();
    reading.join();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected);
}

}  // namespace

}  // namespace camera_info

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const std::string why = camera_info::fakeSysfsRefusal();
    if (!why.empty()) {
        std::printf("skipped: the whole program over a built sysfs tree needs a private mount namespace: %s\n",
                    why.c_str());
        return camera_info::kSkipExitCode;
    }
    return RUN_ALL_TESTS();
}

// What is opened may not be what was looked at a moment before: this test
// executable's own `open` swaps a file for a FIFO between the registry's look
// and its open, as a process racing it could, every time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <string>

#include "discovery/linux/video_devices.h"
#include "discovery/listed_registry.h"
#include "discovery/video_input_devices.h"
#include "support/no_hang.h"
#include "support/on_disk.h"
#include "support/sysfs_tree.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

std::string swapAt;    // the path whose next open finds...
std::string swapWith;  // ...this, renamed over it first

}  // namespace

}  // namespace camera_info

// Every `open` of this executable, the registry's included, comes here. At
// the global scope, where the C library declared it: where off_t is made 64
// bits wide on a 32-bit machine, its declaration there names the symbol
// (open64) that a definition in a namespace would not.
extern "C" int open(const char* path, int flags, ...) {
    using camera_info::swapAt, camera_info::swapWith;
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
        va_list more;
        va_start(more, flags);
        mode = static_cast<mode_t>(va_arg(more, unsigned));
        va_end(more);
    }
    if (!swapAt.empty() && swapAt == path) {
        std::rename(swapWith.c_str(), path);
        swapAt.clear();
    }
    return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

namespace camera_info {

namespace {

class SwappedTree : public OnDisk {};

TEST_F(SwappedTree, AnAttributeThatIsAFifoWhenOpenedIsNotRead) {
    const SysfsTreeBuilder tree(root() / "sys");
    const fs::path capture =
        tree.node(tree.usbInterface(tree.usbDevice("3-1", "1a2b", "3c4d", std::string("Product")), "00"), "video0",
                  "Looked at\n");
    tree.fifo(root() / "fifo");
    swapWith = (root() / "fifo").string();
    swapAt = (capture / "name").string();

    ListedRegistry registry(
        [&] { return listVideoDevices((root() / "sys").string(), (root() / "dev").string(), kernelQueries()); });
    CameraList cameras;
    EXPECT_TRUE(finishesUnaided([&] { listVideoInputDevices(registry, cameras); }, {capture / "name"}))
        << "the registry waited on the FIFO";
    EXPECT_TRUE(swapAt.empty()) << "the name was never opened";
    EXPECT_TRUE(fs::is_fifo(capture / "name"));
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].name, u"Product") << "a name read from what was swapped in";
}

}  // namespace

}  // namespace camera_info

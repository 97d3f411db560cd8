// The Linux backend over device nodes that stand in for the tree's video
// nodes: which node answers for which entry, and what its answer makes of it.
#include <gtest/gtest.h>

#include <linux/videodev2.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <vector>

#include "support/linux_backend_fixtures.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

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
        FakeKernel kernel;
        kernel.capabilitiesOfAny(V4L2_CAP_VIDEO_CAPTURE);  // whatever was opened says it captures
        EXPECT_EQ(namesWith(kernel.queries()), (std::vector<std::u16string>{u"video0", u"video1"})) << kernelLinks;
    }
}

// A sleeping USB camera whose class entry is not the kernel's link into
// devices/: reached through a dev/char link that leads to the class link, or
// an old kernel's real class directory whose `device` link names the USB
// device itself, with and without the dev/char link. Its ids are found, and
// it is not opened.
TEST_F(DeviceNodes, ClassEntriesOfOtherShapesStillLeadToTheirDevice) {
    enum class Shape { CharLinkToClassLink, OldClassDirectory, OldClassDirectoryWithoutCharLinks };
    for (const Shape shape :
         {Shape::CharLinkToClassLink, Shape::OldClassDirectory, Shape::OldClassDirectoryWithoutCharLinks}) {
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
        FakeKernel kernel;
        kernel.capabilitiesOfAny(V4L2_CAP_VIDEO_CAPTURE);
        const CameraList cameras = listWith(kernel.queries());
        EXPECT_TRUE(kernel.asked().empty()) << static_cast<int>(shape) << ": the sleeping camera was opened";
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
        FakeKernel kernel;
        kernel.capabilities(makedev(1, 3), c.caps);
        EXPECT_EQ(namesWith(kernel.queries()).size(), c.listed ? 1u : 0u) << std::hex << c.caps;
    }
}

TEST_F(DeviceNodes, NodesThatOpenWithoutAnsweringFallBackOnTheirIndex) {
    nodeWithNumber("video0", "1:3");
    link("char/1:3", "/dev/null");
    FakeKernel kernel;
    kernel.capabilities(makedev(1, 5), V4L2_CAP_VIDEO_CAPTURE);  // another device than the one opened
    EXPECT_TRUE(namesWith(kernel.queries()).empty());
    file(sys() / "devices/platform/nodes/video4linux/video0/index", "0\n");
    EXPECT_EQ(namesWith(kernel.queries()).size(), 1u);
    EXPECT_EQ(kernel.asked(), (std::vector<dev_t>{makedev(1, 3), makedev(1, 3)}));
}

}  // namespace

}  // namespace camera_info

// The Linux backend with media devices beside the video nodes: sensors in
// the place of the nodes they feed, each graph read once, and webcams
// neither renamed nor woken.
#include <gtest/gtest.h>

#include <linux/videodev2.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "support/graph_builder.h"
#include "support/linux_backend_fixtures.h"
#include "support/no_hang.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

TEST_F(MediaDevices, SensorsStandInThePlaceOfTheNodesTheyFeed) {
    const fs::path webcam = usbDevice("3-1", "0bda", "58f4", std::string("Webcam"));
    const fs::path uvc = node(usbInterface(webcam, "00"), "video0", "Webcam: Webcam\n");
    file(uvc / "dev", "81:0\n");
    for (unsigned minor = 1; minor <= 4; ++minor)
        platformNode("isys", minor, "Intel IPU6 ISYS Capture " + std::to_string(minor));
    platformNode("vivid.0", 5, "vivid-000-vid-cap");
    mediaDevice("media0", "1:3", "/dev/null");
    mediaDevice("media1", "1:5", "/dev/zero");
    // The webcam's own graph would call it after its camera terminal.
    FakeKernel kernel;
    kernel.graph(makedev(1, 3), receiverGraph("ov2740 14-0036", {1, 2}))
        .graph(makedev(1, 5), receiverGraph("Camera 1", {0}));
    const CameraList cameras = listWith(kernel.queries());
    ASSERT_EQ(cameras.size(), 5u);
    EXPECT_EQ(cameras[0].name, u"Webcam: Webcam");
    EXPECT_EQ(cameras[0].vid, u"0bda");
    EXPECT_EQ(cameras[1].name, u"ov2740");
    EXPECT_EQ(cameras[1].vid, u"");
    EXPECT_EQ(cameras[1].pid, u"");
    EXPECT_EQ(cameras[2].name, u"Intel IPU6 ISYS Capture 3");  // in no graph: as it is
    EXPECT_EQ(cameras[3].name, u"Intel IPU6 ISYS Capture 4");
    EXPECT_EQ(cameras[4].name, u"vivid-000-vid-cap");
    EXPECT_EQ(kernel.graphReads(), 2) << "each media device is read once";
}

TEST_F(MediaDevices, NodesOfAGraphThatCannotBeReadStayAsTheyAre) {
    for (unsigned minor = 0; minor < 3; ++minor) platformNode("isys", minor, "Capture " + std::to_string(minor));
    mediaDevice("media0", "1:3", "/dev/zero");  // the wrong device: never asked
    mediaDevice("media1", "1:7", "/dev/full");  // asked, and it does not answer
    FakeKernel kernel;
    kernel.graph(makedev(1, 3), receiverGraph("ov2740 14-0036", {0, 1, 2}));
    const CameraList cameras = listWith(kernel.queries());
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].name, u"Capture 0");
    EXPECT_EQ(kernel.graphReads(), 1);
}

TEST_F(MediaDevices, NodesFedByNothingLeaveAnEmptyCategory) {
    for (unsigned minor = 0; minor < 8; ++minor) platformNode("isys", minor, "Capture " + std::to_string(minor));
    mediaDevice("media0", "1:3", "/dev/null");
    FakeKernel kernel;
    kernel.graph(makedev(1, 3), receiverGraph("", {0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(listed(kernel.queries()).empty());
}

TEST_F(MediaDevices, AWebcamsGraphNeverRenamesIt) {
    for (int i = 0; i < 3; ++i) {
        const fs::path device = usbDevice("3-" + std::to_string(i + 1), "0bda", "58f4", std::string("Webcam"));
        file(node(usbInterface(device, "00"), "video" + std::to_string(i), "Webcam\n") / "dev",
             "81:" + std::to_string(i) + "\n");
    }
    mediaDevice("media0", "1:3", "/dev/null");
    FakeKernel kernel;
    kernel.graph(makedev(1, 3), receiverGraph("Camera 1", {0, 1, 2}));
    const CameraList cameras = listWith(kernel.queries());
    ASSERT_EQ(cameras.size(), 3u);
    for (const CameraInfo& camera : cameras) EXPECT_EQ(camera.name, u"Webcam");
    EXPECT_EQ(kernel.graphReads(), 1);
}

// A webcam as uvcvideo makes it: a capture node and its metadata twin, and
// the graph of its USB function, in which the capture node's entity takes
// pictures in and the metadata node's has no pad. Asleep or awake, with or
// without that graph: a node on USB is opened only where nothing else tells
// and the camera is awake anyway.
TEST_F(MediaDevices, AWebcamIsNeverWokenToBeListed) {
    enum class Graph { Held, Unreadable, None };
    // The USB device's power/runtime_status: this text, a FIFO or a link to
    // nothing in its place, no such file in power/, or no power/ at all.
    enum class Power { Text, Fifo, Dangling, NoStatus, NoDirectory };
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
        {"a status that leads nowhere", Graph::None, Power::Dangling, "", false},
        {"a device without runtime power management", Graph::None, Power::Text, "unsupported", true},
        {"a kernel without runtime power management", Graph::None, Power::NoStatus, "", true},
        {"a kernel without power management", Graph::None, Power::NoDirectory, "", true},
    };
    const dev_t capture = makedev(1, 3), metadata = makedev(1, 5), media = makedev(1, 7);
    GraphBuilder g;
    const std::uint32_t captureEntity = g.node("Webcam: Webcam", 3, "i", 1);
    g.node("Webcam: Webcam", 5, "", 1);
    g.link(g.entity("Camera 1", media::kFunctionCameraSensor, "o"), 0, captureEntity, 0, media::kLinkEnabled);
    const MediaTopology uvc = g.topology();
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
            case Power::Dangling:
                fs::create_directories(device / "power");
                fs::create_symlink("gone", device / "power/runtime_status");
                break;
            case Power::NoStatus: file(device / "power/wakeup", "disabled\n"); break;
            case Power::NoDirectory: break;
        }
        if (c.graph != Graph::None) {
            tree().number(interface / "media0", "1:7");
            tree().link(sys() / "bus/media/devices/media0", interface / "media0");
            link("media0", "/dev/full");
        }
        FakeKernel kernel;
        kernel.capabilities(capture, V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_DEVICE_CAPS)
            .capabilities(metadata, V4L2_CAP_META_CAPTURE);
        if (c.graph == Graph::Held) kernel.graph(media, uvc);
        // A status that is a FIFO must not be waited on: were it, the FIFO
        // is freed and the row fails rather than hang the suite.
        const std::vector<fs::path> fifos =
            c.power == Power::Fifo ? std::vector<fs::path>{device / "power/runtime_status"} : std::vector<fs::path>{};
        CameraList cameras;
        ASSERT_TRUE(finishesUnaided([&] { cameras = listWith(kernel.queries()); }, fifos)) << c.what << ": it waited";
        ASSERT_EQ(cameras.size(), 1u) << c.what;
        EXPECT_EQ(cameras[0].name, u"Webcam: Webcam") << c.what;
        EXPECT_EQ(cameras[0].vid, u"0bda") << c.what;
        const std::vector<dev_t> expected = c.asked ? std::vector<dev_t>{capture, metadata} : std::vector<dev_t>{};
        EXPECT_EQ(kernel.asked(), expected) << c.what << ": which nodes of the camera were opened";
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
        FakeKernel kernel;
        kernel.graph(makedev(1, 3), receiverGraph(entity, {0}));
        const CameraList cameras = listWith(kernel.queries());
        ASSERT_EQ(cameras.size(), 1u) << entity;
        EXPECT_EQ(cameras[0].name, model) << entity;
        EXPECT_EQ(cameras[0].vid, u"") << entity;
        EXPECT_EQ(cameras[0].pid, u"") << entity;
    }
}

}  // namespace

}  // namespace camera_info

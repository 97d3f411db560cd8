// The media graph rules alone: which capture nodes stand for which cameras,
// over graphs made here and over the graphs of real machines.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/linux/media_graph.h"
#include "support/graph_builder.h"
#include "support/media_ctl_dump.h"

namespace camera_info {

namespace {

constexpr std::uint32_t kSensor = media::kFunctionCameraSensor;
constexpr std::uint32_t kBridge = kFunctionBridge;
constexpr std::uint32_t kIsp = 0x00004009;  // MEDIA_ENT_F_PROC_VIDEO_ISP

CaptureNode captureNode(std::uint32_t minor, bool onUsb = false) { return CaptureNode{{{81u, minor}}, onUsb}; }

// The entries as text: a sensor by its model, a node as /dev/videoN.
std::vector<std::string> entries(const std::vector<CaptureNode>& nodes, const std::vector<MediaTopology>& graphs) {
    std::vector<std::string> out;
    for (const CameraSlot& slot : camerasOfNodes(nodes, graphs)) {
        if (!slot.graph) {
            out.push_back("/dev/video" +
                          std::to_string(nodes[slot.node].number ? nodes[slot.node].number->second : 999));
            continue;
        }
        for (const MediaEntity& e : graphs[*slot.graph].entities)
            if (e.id == slot.sensor) out.push_back(sensorModel(e.name));
    }
    return out;
}

using Names = std::vector<std::string>;

TEST(MediaGraph, SensorsTakeThePlaceOfTheNodesTheyReach) {
    GraphBuilder g;
    // Made in the other order than their names go: names decide.
    const auto rear = g.entity("ov2740 14-0036", kSensor, "o");
    const auto front = g.entity("ov01a10 3-0036", kSensor, "o");
    const auto csi = g.entity("CSI2 0", kBridge, "ioo");
    g.link(front, 0, csi, 0);
    g.link(rear, 0, csi, 0);
    const auto a = g.node("Capture 0", 0), b = g.node("Capture 1", 1);
    g.link(csi, 1, a, 0);
    g.link(csi, 2, b, 0);
    // Both sensors share both nodes: each once, where the first node stood, by name.
    EXPECT_EQ(entries({captureNode(0), captureNode(1)}, {g.topology()}), (Names{"ov01a10", "ov2740"}));
    // Without the first node, in the second's place.
    EXPECT_EQ(entries({captureNode(1)}, {g.topology()}), (Names{"ov01a10", "ov2740"}));
}

TEST(MediaGraph, SensorsOfOneNameGoByEntityId) {
    GraphBuilder g;
    const auto node = g.node("Capture", 0);
    const auto mux = g.entity("mux", 0x00005001, "iio");
    const auto second = g.entity("imx219 10-0010", kSensor, "o");  // made first: the lower id
    const auto first = g.entity("imx219 10-0010", kSensor, "o");
    g.link(second, 0, mux, 1, media::kLinkEnabled);
    g.link(first, 0, mux, 0, media::kLinkEnabled);
    g.link(mux, 2, node, 0, media::kLinkEnabled);
    const std::vector<CameraSlot> slots = camerasOfNodes({captureNode(0)}, {g.topology()});
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].sensor, second);
    EXPECT_EQ(slots[1].sensor, first);
}

TEST(MediaGraph, WhatFeedsANodeDecidesWhetherItIsListed) {
    const struct Case {
        const char* what;
        std::function<void(GraphBuilder&, std::uint32_t node)> upstream;
        Names entries;
    } cases[] = {
        {"nothing upstream (vivid)", [](GraphBuilder&, std::uint32_t) {}, {"/dev/video5"}},
        {"a sensor in the graph that reaches no capture node",
         [](GraphBuilder& g, std::uint32_t) {
             const auto s = g.entity("ov13858 2-0010", kSensor, "o");
             const auto csi = g.entity("CSI2 3", kBridge, "io");
             g.link(s, 0, csi, 0);
         },
         {"/dev/video5"}},
        {"a sensor behind an external ISP chip and a receiver",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto s = g.entity("jt8ew9 pixel_array 0-0010", kSensor, "o");
             const auto isp = g.entity("external isp", kIsp, "io");
             const auto csi = g.entity("csi", kBridge, "io");
             g.link(s, 0, isp, 0);
             g.link(isp, 1, csi, 0);
             g.link(csi, 1, node, 0);
         },
         {"jt8ew9"}},
        {"a sensor and memory (rkisp1's parameters)",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto s = g.entity("ov4689 1-0036", kSensor, "o");
             const auto params = g.entity("params", media::kFunctionVideoNode, "o");
             const auto isp = g.entity("isp", kIsp, "iio");
             g.link(s, 0, isp, 0);
             g.link(params, 0, isp, 1, media::kLinkEnabled);
             g.link(isp, 2, node, 0);
         },
         {"ov4689"}},
        {"memory alone (an ISP's output)",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto input = g.entity("isp0-output0", media::kFunctionVideoNode, "o");
             const auto isp = g.entity("isp0", kIsp, "io");
             g.link(input, 0, isp, 0, media::kLinkEnabled);
             g.link(isp, 1, node, 0, media::kLinkEnabled);
         },
         {}},
        {"a receiver with nothing connected",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto csi = g.entity("CSI2 2", kBridge, "io");
             g.link(csi, 1, node, 0);
         },
         {}},
        {"an HDMI-to-CSI-2 bridge (a source without sink pads)",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto hdmi = g.entity("tc358743 1-000f", kBridge, "o");
             const auto csi = g.entity("csi", kBridge, "io");
             g.link(hdmi, 0, csi, 0, media::kLinkEnabled);
             g.link(csi, 1, node, 0, media::kLinkEnabled);
         },
         {"/dev/video5"}},
        {"a TV decoder with its inputs",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto connector = g.entity("Composite", 0x00030002, "o");  // MEDIA_ENT_F_CONN_COMPOSITE
             const auto decoder = g.entity("tvp5150 1-005c", media::kFunctionAnalogDecoder, "io");
             g.link(connector, 0, decoder, 0, media::kLinkEnabled);
             g.link(decoder, 1, node, 0, media::kLinkEnabled);
         },
         {"/dev/video5"}},
        {"a tuner",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto tuner = g.entity("tuner", media::kFunctionTuner, "io");
             g.link(tuner, 1, node, 0);
         },
         {"/dev/video5"}},
        {"a cycle of receivers with a sensor behind it",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto s = g.entity("imx708", kSensor, "o");
             const auto a = g.entity("a", kBridge, "iio");
             const auto b = g.entity("b", kBridge, "io");
             g.link(s, 0, a, 0);
             g.link(b, 1, a, 1);
             g.link(a, 2, b, 0);
             g.link(b, 1, node, 0);
         },
         {"imx708"}},
        {"a cycle with nothing behind it",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto a = g.entity("a", kBridge, "iio");
             g.link(a, 2, a, 1);  // a self-link
             g.link(a, 2, node, 0);
         },
         {}},
        {"a sensor tied to the node by an ancillary link only",
         [](GraphBuilder& g, std::uint32_t node) {
             const auto s = g.entity("Sensor A", kSensor, "o");
             g.rawLink(s, node, media::kAncillaryLink);
         },
         {"/dev/video5"}},
        {"links to pads and entities the graph does not hold",
         [](GraphBuilder& g, std::uint32_t node) {
             g.rawLink(999999, g.pad(node, 0), 0);
             const auto csi = g.entity("csi", kBridge, "io");
             g.link(csi, 1, node, 0);
             g.rawLink(g.pad(csi, 1), 888888, 0);
             g.rawLink(777777, g.pad(csi, 0), 0);
         },
         {}},
    };
    for (const Case& c : cases) {
        GraphBuilder g;
        const auto node = g.node("Capture", 5);
        c.upstream(g, node);
        EXPECT_EQ(entries({captureNode(5)}, {g.topology()}), c.entries) << c.what;
    }
}

TEST(MediaGraph, NodesTheGraphsDoNotSpeakForAreListed) {
    GraphBuilder g;
    const auto s = g.entity("Camera 1", kSensor, "o");  // uvcvideo's camera terminal
    const auto node = g.node("HD Webcam: HD Webcam", 0);
    g.link(s, 0, node, 0, media::kLinkEnabled);
    const std::vector<CaptureNode> nodes = {captureNode(0, /*onUsb=*/true), CaptureNode{std::nullopt, false},
                                            captureNode(7)};
    EXPECT_EQ(entries(nodes, {g.topology()}), (Names{"/dev/video0", "/dev/video999", "/dev/video7"}));
    // An interface linked to an entity the graph does not hold speaks for nothing.
    GraphBuilder h;
    h.topology().interfaces.push_back({100, 0x200, 81, 3});
    h.rawLink(100, 12345, media::kInterfaceLink);
    EXPECT_EQ(entries({captureNode(3)}, {h.topology()}), (Names{"/dev/video3"}));
}

TEST(MediaGraph, WhatAGraphSaysANodeIs) {
    const struct {
        const char* what;
        std::function<void(GraphBuilder&)> make;  // the node is 81:5
        std::optional<bool> captures;
    } cases[] = {
        {"a capture node, fed by a camera terminal",
         [](GraphBuilder& g) {
             const auto s = g.entity("Camera 1", kSensor, "o");
             g.link(s, 0, g.node("Webcam: Webcam", 5), 0, media::kLinkEnabled);
         },
         true},
        {"a capture node with nothing upstream", [](GraphBuilder& g) { g.node("vivid-000-vid-cap", 5); }, true},
        {"uvcvideo's metadata node: no pad", [](GraphBuilder& g) { g.node("Webcam: Webcam", 5, ""); }, false},
        {"an output node", [](GraphBuilder& g) { g.node("Webcam: Webcam", 5, "o"); }, false},
        {"one node for both ends of a memory-to-memory device",
         [](GraphBuilder& g) {
             const auto in = g.node("source", 5, "o");
             const auto out = g.entity("sink", media::kFunctionVideoNode, "i");
             const auto scaler = g.entity("scaler", 0x00004002, "io");
             g.link(in, 0, scaler, 0, media::kLinkEnabled);
             g.link(scaler, 1, out, 0, media::kLinkEnabled);
             g.rawLink(g.topology().interfaces.back().id, out, media::kInterfaceLink);
         },
         false},
        {"a VBI node",
         [](GraphBuilder& g) {
             g.entity("vbi", 0x00010002, "i");
             g.topology().interfaces.push_back({900, 0x201, 81, 5});
             g.rawLink(900, g.topology().entities.back().id, media::kInterfaceLink);
         },
         false},
        {"another node only", [](GraphBuilder& g) { g.node("Capture", 6); }, std::nullopt},
        {"an interface linked to nothing the graph holds",
         [](GraphBuilder& g) {
             g.topology().interfaces.push_back({900, 0x200, 81, 5});
             g.rawLink(900, 12345, media::kInterfaceLink);
         },
         std::nullopt},
    };
    for (const auto& c : cases) {
        GraphBuilder g;
        c.make(g);
        EXPECT_EQ(capturesInGraph(g.topology(), {81, 5}), c.captures) << c.what;
    }
}

TEST(MediaGraph, EachGraphHasSensorsOfItsOwn) {
    // Two instances of one driver: the same entity ids, names and shapes.
    std::vector<MediaTopology> graphs;
    for (std::uint32_t minor : {0u, 1u}) {
        GraphBuilder g;
        const auto s = g.entity("Sensor A", kSensor, "o");
        const auto node = g.node("Raw Capture 0", minor);
        g.link(s, 0, node, 0, media::kLinkEnabled);
        graphs.push_back(g.topology());
    }
    const std::vector<CameraSlot> slots = camerasOfNodes({captureNode(0), captureNode(1)}, graphs);
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_EQ(slots[0].graph, std::optional<std::size_t>(0));
    EXPECT_EQ(slots[1].graph, std::optional<std::size_t>(1));
}

TEST(MediaGraph, TenThousandEntities) {
    GraphBuilder g;
    const auto sensor = g.entity("long 1-0010", kSensor, "o");
    std::uint32_t last = sensor;
    std::size_t lastPad = 0;
    for (int i = 0; i < 10000; ++i) {
        const auto stage = g.entity("stage " + std::to_string(i), 0x00004005, "io");
        g.link(last, lastPad, stage, 0);
        last = stage;
        lastPad = 1;
    }
    std::vector<CaptureNode> nodes;
    for (std::uint32_t minor = 0; minor < 50; ++minor) {
        const auto node = g.node("Capture " + std::to_string(minor), minor);
        g.link(last, 1, node, 0);
        nodes.push_back(captureNode(minor));
    }
    EXPECT_EQ(entries(nodes, {g.topology()}), (Names{"long"}));
}

TEST(MediaGraph, ASensorIsNamedAfterItsModel) {
    const struct {
        const char* entity;
        const char* model;
    } cases[] = {
        {"ov2740 14-0036", "ov2740"},
        {"jt8ew9 pixel_array 0-0010", "jt8ew9"},
        {"imx219 10-0010", "imx219"},
        {"ov5693 2-0036 extra", "ov5693"},
        {"Sensor A", "Sensor A"},
        {"imx708", "imx708"},
        {"RGB/YUV Input", "RGB/YUV Input"},
        {"ov2740 14-0036x", "ov2740 14-0036x"},  // not an I2C device's name
        {"ov2740 14-036", "ov2740 14-036"},
        {"ov2740 14-00360", "ov2740 14-00360"},
        {"ov2740 14-003A", "ov2740 14-003A"},  // the kernel writes lower case
        {"ov2740 -0036", "ov2740 -0036"},
        {"ov2740 x14-0036", "ov2740 x14-0036"},
        {" 1-0036", " 1-0036"},  // nothing before the space
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(sensorModel(c.entity), c.model) << c.entity;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) {
        if (!trimmed(part).empty()) parts.push_back(trimmed(part));
    }
    return parts;
}

TEST(MediaGraph, TheGraphsOfRealMachines) {
    const std::string data = CAMERA_INFO_MEDIA_DATA;
    std::istringstream table(slurp(data + "/topologies.cases"));
    int machines = 0;
    for (std::string line; std::getline(table, line);) {
        if (trimmed(line).empty() || trimmed(line)[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '|');) fields.push_back(trimmed(field));
        fields.resize(4);
        const std::string text = slurp(data + "/topologies/" + fields[0]);
        ASSERT_FALSE(text.empty()) << fields[0];
        const auto sections = dumpSections(text);
        ASSERT_EQ(sections.count(fields[1]), 1u) << fields[0] << " has no part " << fields[1];
        const std::vector<MediaTopology> graphs = parseMediaCtl(sections.at(fields[1]));
        ASSERT_FALSE(graphs.empty()) << fields[0] << " " << fields[1];
        std::vector<CaptureNode> nodes;
        for (std::string name : split(fields[2], ' ')) {
            const bool onUsb = name.rfind("usb:", 0) == 0;
            if (onUsb) name.erase(0, 4);
            nodes.push_back(CaptureNode{dumpedNodeNumber("/dev/" + name), onUsb});
        }
        EXPECT_EQ(entries(nodes, graphs), split(fields[3], ',')) << line;
        ++machines;
    }
    EXPECT_EQ(machines, 10);
}

// What the graphs of two real webcams (uvcvideo, 6.6) say of their nodes.
TEST(MediaGraph, WhatRealWebcamsGraphsSayOfTheirNodes) {
    const std::string text = slurp(std::string(CAMERA_INFO_MEDIA_DATA) + "/topologies/uvc-hp5m-chromebook-gimble.txt");
    const auto sections = dumpSections(text);
    for (const std::string part : {"", "B"}) {
        const std::vector<MediaTopology> graphs = parseMediaCtl(sections.at(part));
        ASSERT_EQ(graphs.size(), 1u) << part;
        EXPECT_EQ(capturesInGraph(graphs[0], dumpedNodeNumber("/dev/video0")), true) << part;
        EXPECT_EQ(capturesInGraph(graphs[0], dumpedNodeNumber("/dev/video1")), false) << part << ": the metadata node";
        EXPECT_EQ(capturesInGraph(graphs[0], dumpedNodeNumber("/dev/video2")), std::nullopt) << part;
    }
}

}  // namespace

}  // namespace camera_info

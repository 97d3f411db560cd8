// Cameras behind the kernel's media controller: a media device's graph as
// MEDIA_IOC_G_TOPOLOGY gives it, and which capture nodes stand for which
// cameras. Plain values and pure functions, so every rule can be tried
// without a kernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace camera_info {

// The kernel's numbers for what the rules look at (linux/media.h).
namespace media {
constexpr std::uint32_t kFunctionCameraSensor = 0x00020001;    // MEDIA_ENT_F_CAM_SENSOR
constexpr std::uint32_t kFunctionTuner = 0x00020005;           // MEDIA_ENT_F_TUNER
constexpr std::uint32_t kFunctionAnalogDecoder = 0x00020004;   // MEDIA_ENT_F_ATV_DECODER
constexpr std::uint32_t kFunctionIfVideoDecoder = 0x00002001;  // MEDIA_ENT_F_IF_VID_DECODER
constexpr std::uint32_t kFunctionDigitalDecoder = 0x00006001;  // MEDIA_ENT_F_DV_DECODER
constexpr std::uint32_t kFunctionVideoNode = 0x00010001;       // MEDIA_ENT_F_IO_V4L
// The old device-node functions, MEDIA_ENT_F_OLD_BASE up to the old subdevices'.
constexpr std::uint32_t kFunctionOldNodes = 0x00010000;       // MEDIA_ENT_F_OLD_BASE
constexpr std::uint32_t kFunctionOldSubdevices = 0x00020000;  // MEDIA_ENT_F_OLD_SUBDEV_BASE
// DVB, VBI and radio nodes.
constexpr std::uint32_t kFunctionDtvNode = 0x00001001;    // MEDIA_ENT_F_IO_DTV
constexpr std::uint32_t kFunctionRadioNode = 0x00001003;  // MEDIA_ENT_F_IO_SWRADIO
constexpr std::uint32_t kPadSink = 1u << 0;               // MEDIA_PAD_FL_SINK
constexpr std::uint32_t kPadSource = 1u << 1;             // MEDIA_PAD_FL_SOURCE
constexpr std::uint32_t kLinkType = 0xFu << 28;           // MEDIA_LNK_FL_LINK_TYPE
constexpr std::uint32_t kDataLink = 0u << 28;             // MEDIA_LNK_FL_DATA_LINK
constexpr std::uint32_t kInterfaceLink = 1u << 28;        // MEDIA_LNK_FL_INTERFACE_LINK
constexpr std::uint32_t kAncillaryLink = 2u << 28;        // MEDIA_LNK_FL_ANCILLARY_LINK
constexpr std::uint32_t kLinkEnabled = 1u << 0;           // MEDIA_LNK_FL_ENABLED
}  // namespace media

struct MediaEntity {
    std::uint32_t id = 0;
    std::string name;
    std::uint32_t function = 0;
};

struct MediaPad {
    std::uint32_t id = 0;
    std::uint32_t entity = 0;
    std::uint32_t flags = 0;
};

// A data link joins a source pad to a sink pad, an interface link an
// interface to an entity, an ancillary link an entity to an entity (a sensor
// to its lens); the link's type is in its flags.
struct MediaLink {
    std::uint32_t id = 0;
    std::uint32_t source = 0;
    std::uint32_t sink = 0;
    std::uint32_t flags = 0;
};

// A device node of the graph, as the major:minor of the node it stands for.
struct MediaInterface {
    std::uint32_t id = 0;
    std::uint32_t type = 0;
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
};

struct MediaTopology {
    std::vector<MediaEntity> entities;
    std::vector<MediaInterface> interfaces;
    std::vector<MediaPad> pads;
    std::vector<MediaLink> links;
};

// A capture node as the video input category holds it, in node-number order.
struct CaptureNode {
    std::optional<std::pair<std::uint32_t, std::uint32_t>> number;  // major:minor, where known
    bool onUsb = false;
};

// Whether a graph may speak for `node` at all: never for a node on USB (a
// webcam is never renamed after its camera terminal) or one whose device
// number is not known.
inline bool graphMaySpeakFor(const CaptureNode& node) { return !node.onUsb && node.number.has_value(); }

// Whether a video node whose device number the graph holds is a capture
// node, as the entities its device node stands for tell: they take pictures
// in (a sink pad) and give none out (no source pad) and are video nodes. An
// output node's entity has a source pad, the one device node of a
// memory-to-memory device stands for both ends, and uvcvideo's metadata
// node has no pad at all (so on 6.1 and 6.12). None where the graph holds no
// such node.
std::optional<bool> capturesInGraph(const MediaTopology& graph, const std::pair<std::uint32_t, std::uint32_t>& number);

// One entry of the category: a capture node listed itself, or a camera
// sensor of a graph in the place of the capture node it reaches first.
struct CameraSlot {
    std::size_t node = 0;              // index into the capture nodes
    std::optional<std::size_t> graph;  // with a sensor: index into the graphs
    std::uint32_t sensor = 0;          // ...and its entity id
};

// The entries for `nodes` (in node-number order) given the graphs of the
// machine's media devices that could be read whole:
//  - a node no graph may speak for (graphMaySpeakFor) or that no graph holds
//    is listed as it is;
//  - otherwise the graph is walked upstream from the node's entity along
//    every data link, enabled or not, each entity once:
//    a. camera sensors reached stand in its place, each sensor once, where
//       the first node that reaches it stood, by entity name then id;
//    b. a node that reaches a decoder or tuner, or a source with no sink pad
//       that is no video node (an HDMI bridge chip, a connector), is listed;
//    c. so is a node with nothing upstream at all (vivid);
//    d. any other node is fed from memory (an ISP's output) or from inputs
//       with nothing connected, and is left out.
// Links to pads, entities or interfaces the graph does not hold are ignored.
std::vector<CameraSlot> camerasOfNodes(const std::vector<CaptureNode>& nodes, const std::vector<MediaTopology>& graphs);

// What the report calls a sensor: its model, the text before the first space
// where the name holds an I2C device's name (" 14-0036": a space, a decimal
// bus number, "-" and four lower-case hex digits, as the kernel names I2C
// devices), else the whole name ("Sensor A", "imx708").
std::string sensorModel(const std::string& entityName);

}  // namespace camera_info

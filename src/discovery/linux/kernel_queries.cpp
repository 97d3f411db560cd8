// The ioctls the Linux backend asks device nodes.
#include "discovery/linux/kernel_queries.h"

#include <linux/media.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace camera_info {

namespace {

// What the program hands the kernel has one layout on every machine it is
// built for (x86-64, arm64, 32-bit ARM, riscv64): the kernel defines these
// with fixed-size fields and 64-bit pointers, so a 32-bit program on a
// 64-bit kernel needs no translation of them either. A build for a machine
// where that did not hold stops here.
static_assert(sizeof(v4l2_capability) == 104 && VIDIOC_QUERYCAP == 0x80685600u, "VIDIOC_QUERYCAP's layout");
static_assert(sizeof(media_v2_topology) == 72 && MEDIA_IOC_G_TOPOLOGY == 0xc0487c04u, "MEDIA_IOC_G_TOPOLOGY's layout");
static_assert(sizeof(media_v2_entity) == 96 && sizeof(media_v2_interface) == 112 && sizeof(media_v2_pad) == 32 &&
                  sizeof(media_v2_link) == 40,
              "the topology's elements");

// The rules' own copies of the kernel's numbers (media_graph.h, which
// includes no kernel header so that the rules build and are tried anywhere)
// are the kernel's.
static_assert(media::kFunctionCameraSensor == MEDIA_ENT_F_CAM_SENSOR && media::kFunctionTuner == MEDIA_ENT_F_TUNER &&
                  media::kFunctionAnalogDecoder == MEDIA_ENT_F_ATV_DECODER &&
                  media::kFunctionIfVideoDecoder == MEDIA_ENT_F_IF_VID_DECODER &&
                  media::kFunctionDigitalDecoder == MEDIA_ENT_F_DV_DECODER &&
                  media::kFunctionVideoNode == MEDIA_ENT_F_IO_V4L,
              "entity functions");
static_assert(media::kFunctionOldNodes == MEDIA_ENT_F_OLD_BASE &&
                  media::kFunctionOldSubdevices == MEDIA_ENT_F_OLD_SUBDEV_BASE &&
                  media::kFunctionDtvNode == MEDIA_ENT_F_IO_DTV && media::kFunctionRadioNode == MEDIA_ENT_F_IO_SWRADIO,
              "device-node functions");
static_assert(media::kPadSink == MEDIA_PAD_FL_SINK && media::kPadSource == MEDIA_PAD_FL_SOURCE, "pad flags");
// The kernel writes the link type as an int shifted into its sign bit.
constexpr std::uint32_t kernelFlag(long long flag) { return static_cast<std::uint32_t>(flag); }
static_assert(media::kLinkType == kernelFlag(MEDIA_LNK_FL_LINK_TYPE) &&
                  media::kDataLink == kernelFlag(MEDIA_LNK_FL_DATA_LINK) &&
                  media::kInterfaceLink == kernelFlag(MEDIA_LNK_FL_INTERFACE_LINK) &&
                  media::kAncillaryLink == kernelFlag(MEDIA_LNK_FL_ANCILLARY_LINK) &&
                  media::kLinkEnabled == kernelFlag(MEDIA_LNK_FL_ENABLED),
              "link flags");

std::optional<std::uint32_t> videoCapabilities(int fd) {
    v4l2_capability capability{};
    if (::ioctl(fd, VIDIOC_QUERYCAP, &capability) != 0) return std::nullopt;
    // `capabilities` covers every node of the device; device_caps, where the
    // driver fills it, this node alone.
    return (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
}

// No media device holds more of anything; more is a driver's fault, and
// would only cost memory.
constexpr std::uint32_t kMostObjects = 1u << 16;
// A graph that keeps changing under the reader is given up after this many reads.
constexpr int kReads = 8;

template <typename T>
std::uint64_t pointerTo(std::vector<T>& items) {
    return items.empty() ? 0 : static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(items.data()));
}

std::string nameOf(const char* text, std::size_t size) { return std::string(text, ::strnlen(text, size)); }

// Arrays for a graph of up to the given counts, and the request that fills them.
struct TopologyArrays {
    std::vector<media_v2_entity> entities;
    std::vector<media_v2_interface> interfaces;
    std::vector<media_v2_pad> pads;
    std::vector<media_v2_link> links;
    media_v2_topology request{};

    TopologyArrays(std::uint32_t e, std::uint32_t i, std::uint32_t p, std::uint32_t l)
        : entities(e), interfaces(i), pads(p), links(l) {
        request.num_entities = e;
        request.ptr_entities = pointerTo(entities);
        request.num_interfaces = i;
        request.ptr_interfaces = pointerTo(interfaces);
        request.num_pads = p;
        request.ptr_pads = pointerTo(pads);
        request.num_links = l;
        request.ptr_links = pointerTo(links);
    }

    // The kernel writes back how many it filled in.
    MediaTopology topology() const {
        MediaTopology t;
        for (std::uint32_t i = 0; i < request.num_entities && i < entities.size(); ++i)
            t.entities.push_back(
                {entities[i].id, nameOf(entities[i].name, sizeof entities[i].name), entities[i].function});
        for (std::uint32_t i = 0; i < request.num_interfaces && i < interfaces.size(); ++i)
            t.interfaces.push_back(
                {interfaces[i].id, interfaces[i].intf_type, interfaces[i].devnode.major, interfaces[i].devnode.minor});
        for (std::uint32_t i = 0; i < request.num_pads && i < pads.size(); ++i)
            t.pads.push_back({pads[i].id, pads[i].entity_id, pads[i].flags});
        for (std::uint32_t i = 0; i < request.num_links && i < links.size(); ++i)
            t.links.push_back({links[i].id, links[i].source_id, links[i].sink_id, links[i].flags});
        return t;
    }
};

std::optional<MediaTopology> mediaTopology(int fd) {
    // A webcam's graph or vimc's fits these: one call reads it whole, as the
    // kernel reads it under its graph lock. A larger one answers ENOSPC.
    TopologyArrays first(32, 32, 64, 64);
    if (::ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &first.request) == 0) return first.topology();
    if (errno != ENOSPC) return std::nullopt;
    for (int read = 0; read < kReads; ++read) {
        // The counts alone, then arrays of that size; a graph that changed
        // in between (a device coming or going) is read again.
        media_v2_topology counts{};
        if (::ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &counts) != 0) return std::nullopt;
        if (counts.num_entities > kMostObjects || counts.num_interfaces > kMostObjects ||
            counts.num_pads > kMostObjects || counts.num_links > kMostObjects) {
            return std::nullopt;
        }
        TopologyArrays whole(counts.num_entities, counts.num_interfaces, counts.num_pads, counts.num_links);
        if (::ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &whole.request) != 0) {
            if (errno == ENOSPC) continue;  // it grew: the arrays are too small
            return std::nullopt;
        }
        if (whole.request.topology_version != counts.topology_version) continue;
        return whole.topology();
    }
    return std::nullopt;
}

}  // namespace

DeviceQueries kernelQueries() { return DeviceQueries{videoCapabilities, mediaTopology}; }

}  // namespace camera_info

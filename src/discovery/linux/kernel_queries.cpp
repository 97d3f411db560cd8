// The ioctls the Linux registry asks device nodes.
#include <linux/media.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "sysfs_registry.h"

namespace {

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

std::optional<MediaTopology> mediaTopology(int fd) {
    media_device_info info{};
    if (::ioctl(fd, MEDIA_IOC_DEVICE_INFO, &info) != 0) return std::nullopt;
    for (int read = 0; read < kReads; ++read) {
        // First the counts alone, then the arrays; a graph that changed in
        // between (a device coming or going) is read again.
        media_v2_topology counts{};
        if (::ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &counts) != 0) return std::nullopt;
        if (counts.num_entities > kMostObjects || counts.num_interfaces > kMostObjects ||
            counts.num_pads > kMostObjects || counts.num_links > kMostObjects) {
            return std::nullopt;
        }
        std::vector<media_v2_entity> entities(counts.num_entities);
        std::vector<media_v2_interface> interfaces(counts.num_interfaces);
        std::vector<media_v2_pad> pads(counts.num_pads);
        std::vector<media_v2_link> links(counts.num_links);
        media_v2_topology whole{};
        whole.num_entities = counts.num_entities;
        whole.ptr_entities = pointerTo(entities);
        whole.num_interfaces = counts.num_interfaces;
        whole.ptr_interfaces = pointerTo(interfaces);
        whole.num_pads = counts.num_pads;
        whole.ptr_pads = pointerTo(pads);
        whole.num_links = counts.num_links;
        whole.ptr_links = pointerTo(links);
        if (::ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &whole) != 0) {
            if (errno == ENOSPC) continue;  // it grew: the arrays are too small
            return std::nullopt;
        }
        if (whole.topology_version != counts.topology_version) continue;

        // The kernel writes back how many it filled in.
        MediaTopology topology;
        for (std::uint32_t i = 0; i < whole.num_entities && i < entities.size(); ++i)
            topology.entities.push_back({entities[i].id, nameOf(entities[i].name, sizeof entities[i].name),
                                         entities[i].function});
        for (std::uint32_t i = 0; i < whole.num_interfaces && i < interfaces.size(); ++i)
            topology.interfaces.push_back({interfaces[i].id, interfaces[i].intf_type, interfaces[i].devnode.major,
                                           interfaces[i].devnode.minor});
        for (std::uint32_t i = 0; i < whole.num_pads && i < pads.size(); ++i)
            topology.pads.push_back({pads[i].id, pads[i].entity_id, pads[i].flags});
        for (std::uint32_t i = 0; i < whole.num_links && i < links.size(); ++i)
            topology.links.push_back({links[i].id, links[i].source_id, links[i].sink_id, links[i].flags});
        return topology;
    }
    return std::nullopt;
}

}  // namespace

DeviceQueries kernelQueries() { return DeviceQueries{videoCapabilities, mediaTopology}; }

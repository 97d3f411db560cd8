// The media graphs read once each, and the sensors they put in the place of
// the nodes they feed.
#include "discovery/linux/graph_cameras.h"

#include "owners/file_descriptor.h"

namespace camera_info {

Graphs readGraphs(const KernelPaths& paths, const DeviceQueries& queries) {
    Graphs graphs;
    const std::optional<std::string> bus = resolvedDirectory(paths.sys + "/bus/media/devices");
    if (!bus) return graphs;
    for (const std::string& name : nodeNames(*bus, "media")) {
        KernelDevice device = kernelDevice(paths, *bus, name);
        if (!device.node || !device.directory) continue;
        // Reading a graph wakes nothing: the kernel answers from what it keeps.
        const FileDescriptor fd = openDevice(*device.node);
        if (!fd) continue;
        std::optional<MediaTopology> topology = queries.mediaTopology(fd.get());
        if (!topology) continue;
        graphs.devices.push_back(std::move(*device.directory));
        graphs.topologies.push_back(std::move(*topology));
    }
    return graphs;
}

std::vector<std::variant<std::size_t, Sensor>> camerasOf(const std::vector<CaptureNode>& nodes, const Graphs& graphs) {
    std::vector<std::variant<std::size_t, Sensor>> cameras;
    for (const CameraSlot& slot : camerasOfNodes(nodes, graphs.topologies)) {
        if (!slot.graph) {
            cameras.emplace_back(slot.node);
            continue;
        }
        for (const MediaEntity& entity : graphs.topologies[*slot.graph].entities) {
            if (entity.id == slot.sensor) cameras.emplace_back(Sensor{graphs.devices[*slot.graph], entity.name});
        }
    }
    return cameras;
}

}  // namespace camera_info

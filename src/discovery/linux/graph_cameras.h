// Cameras from the machine's media graphs: the graphs read from their
// devices, and the camera sensors that stand in the place of the capture
// nodes they feed (the rule itself is media_graph's).
#pragma once

#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "discovery/linux/kernel_queries.h"
#include "discovery/linux/media_graph.h"
#include "discovery/linux/sysfs_reading.h"

namespace camera_info {

// The graphs of the machine's media devices that can be read whole, each
// read once, with the sysfs directory of each.
struct Graphs {
    std::vector<std::string> devices;
    std::vector<MediaTopology> topologies;
};

// Reads every media device's graph. A media device that cannot be opened or
// read (no permission, gone, a kernel without the media controller) has no
// graph, and its nodes stay as they are.
Graphs readGraphs(const KernelPaths& paths, const DeviceQueries& queries);

// A camera sensor of a media device's graph, listed in a capture node's place.
struct Sensor {
    std::string mediaDevice;  // the media device's sysfs directory
    std::string name;         // the entity's name
};

// What is listed for the capture nodes given, in order: the index of a node
// listed as it is, or a sensor listed in the place of the first node it feeds.
std::vector<std::variant<std::size_t, Sensor>> camerasOf(const std::vector<CaptureNode>& nodes, const Graphs& graphs);

}  // namespace camera_info

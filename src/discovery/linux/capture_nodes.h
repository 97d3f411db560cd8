// Which video nodes capture, asked in the way that wakes no camera.
#pragma once

#include <vector>

#include "discovery/linux/kernel_queries.h"
#include "discovery/linux/media_graph.h"
#include "discovery/linux/sysfs_reading.h"
#include "discovery/linux/usb_place.h"

namespace camera_info {

// Whether the node captures, and is neither an output, memory-to-memory nor
// metadata node. `device` is what sysfs and /dev tell of it, `node` where it
// sits, `graphs` the machine's media graphs.
bool captures(const KernelDevice& device, const VideoNode& node, const std::vector<MediaTopology>& graphs,
              const DeviceQueries& queries);

}  // namespace camera_info

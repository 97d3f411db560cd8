// What the Linux backend asks the kernel through an open device node,
// beside sysfs: the kernel's own ioctls, or a test's stand-in.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "discovery/linux/media_graph.h"

namespace camera_info {

struct DeviceQueries {
    // VIDIOC_QUERYCAP: the capabilities of the node itself (its device_caps
    // where the driver gives them), or none where it does not answer.
    std::function<std::optional<std::uint32_t>(int fd)> videoCapabilities;
    // MEDIA_IOC_G_TOPOLOGY: a media device's whole graph, read as one, or
    // none where it cannot be.
    std::function<std::optional<MediaTopology>(int fd)> mediaTopology;
};

// The kernel's answers.
DeviceQueries kernelQueries();

}  // namespace camera_info

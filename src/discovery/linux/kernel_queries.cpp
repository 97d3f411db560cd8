// The ioctls the Linux registry asks device nodes.
#include <linux/videodev2.h>
#include <sys/ioctl.h>

#include "sysfs_registry.h"

namespace {

std::optional<std::uint32_t> videoCapabilities(int fd) {
    v4l2_capability capability{};
    if (::ioctl(fd, VIDIOC_QUERYCAP, &capability) != 0) return std::nullopt;
    // `capabilities` covers every node of the device; device_caps, where the
    // driver fills it, this node alone.
    return (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
}

}  // namespace

DeviceQueries kernelQueries() { return DeviceQueries{videoCapabilities}; }

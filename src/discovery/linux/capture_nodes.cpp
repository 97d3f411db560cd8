// Whether a video node captures: a node on USB is never opened while its
// graph tells or its camera may be asleep; any other node is asked.
#include "discovery/linux/capture_nodes.h"

#include <linux/videodev2.h>
#include <sys/sysmacros.h>

#include "owners/file_descriptor.h"

namespace camera_info {

namespace {

bool capturesByCapabilities(std::uint32_t caps) {
    const std::uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
    const std::uint32_t notInput =
        V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_VIDEO_OUTPUT_MPLANE | V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_M2M_MPLANE;
    return (caps & capture) != 0 && (caps & notInput) == 0;
}

// Whether a USB device may be asked without waking it: it is awake
// ("active"), or it has no runtime power management at all (no status, or
// "unsupported"). One on its way to sleep or back, in error, or whose status
// cannot be read is left alone like a sleeping one.
bool awakeAnyway(const UsbPlace& usb) {
    const Read<std::string> status = readLine(usb.device + "/power/runtime_status");
    if (status) return *status == "active" || *status == "unsupported";
    return status.absent();
}

}  // namespace

// uvcvideo powers a camera up when one of its nodes opens (on 6.1 and 6.12;
// it stopped doing so for such queries in 2025), so for a node on USB the
// graph of its USB function says, which the kernel answers from memory;
// where no graph holds it, it is asked only while its USB device is awake
// anyway. Any other node is asked (VIDIOC_QUERYCAP). A node that cannot be
// asked is taken for a capture node unless an index other than 0 gives it
// away as a second node of its device (a UVC camera's metadata twin).
bool captures(const KernelDevice& device, const VideoNode& node, const std::vector<MediaTopology>& graphs,
              const DeviceQueries& queries) {
    if (node.usb && device.number) {
        for (const MediaTopology& graph : graphs) {
            if (const std::optional<bool> held = capturesInGraph(graph, {major(*device.number), minor(*device.number)}))
                return *held;
        }
    }
    if (device.node && (!node.usb || awakeAnyway(*node.usb))) {
        if (const FileDescriptor fd = openDevice(*device.node)) {
            if (const std::optional<std::uint32_t> caps = queries.videoCapabilities(fd.get()))
                return capturesByCapabilities(*caps);
        }
    }
    const Read<std::string> index = readLine(node.directory + "/index");
    return !index || *index == "0";
}

}  // namespace camera_info

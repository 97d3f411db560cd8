// Stands in for the kernel's ioctls in the Linux backend's tests. The test's
// device nodes are links to the machine's own character devices (/dev/null,
// /dev/zero, /dev/full), and the stand-in answers by the number of the
// device that was opened, remembering what it was asked.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "discovery/linux/kernel_queries.h"
#include "discovery/linux/media_graph.h"

namespace camera_info {

class FakeKernel {
public:
    // VIDIOC_QUERYCAP answers `caps` for the device `number`.
    FakeKernel& capabilities(dev_t number, std::uint32_t caps) {
        capabilities_[number] = caps;
        return *this;
    }
    // ... and for every other character device.
    FakeKernel& capabilitiesOfAny(std::uint32_t caps) {
        anyCapabilities_ = caps;
        return *this;
    }
    // MEDIA_IOC_G_TOPOLOGY answers `graph` for the media device `number`.
    FakeKernel& graph(dev_t number, MediaTopology graph) {
        graphs_[number] = std::move(graph);
        return *this;
    }
    // The queries, which refer to this stand-in: it must outlive them.
    DeviceQueries queries();

    // The devices asked VIDIOC_QUERYCAP, in order.
    const std::vector<dev_t>& asked() const { return asked_; }
    // How often a graph was asked for, of any device.
    int graphReads() const { return graphReads_; }

private:
    std::map<dev_t, std::uint32_t> capabilities_;
    std::optional<std::uint32_t> anyCapabilities_;
    std::map<dev_t, MediaTopology> graphs_;
    std::vector<dev_t> asked_;
    int graphReads_ = 0;
};

}  // namespace camera_info

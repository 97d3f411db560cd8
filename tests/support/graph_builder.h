// Builds media graphs the way a driver does, for the tests of the graph
// rules and of the Linux backend: entities with their pads, then links.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "discovery/linux/media_graph.h"

namespace camera_info {

class GraphBuilder {
public:
    // An entity with pads from `pads` ('i' sink, 'o' source); answers its id.
    std::uint32_t entity(const std::string& name, std::uint32_t function, const std::string& pads) {
        const std::uint32_t id = next_++;
        topology_.entities.push_back({id, name, function});
        for (std::size_t i = 0; i < pads.size(); ++i) {
            const std::uint32_t pad = next_++;
            topology_.pads.push_back({pad, id, pads[i] == 'i' ? media::kPadSink : media::kPadSource});
            pads_[{id, i}] = pad;
        }
        return id;
    }
    // A video node's entity and its interface, device number major:minor.
    std::uint32_t node(const std::string& name, std::uint32_t minor, const std::string& pads = "i",
                       std::uint32_t major = 81) {
        const std::uint32_t id = entity(name, media::kFunctionVideoNode, pads);
        const std::uint32_t interface = next_++;
        topology_.interfaces.push_back({interface, 0x200, major, minor});
        topology_.links.push_back({next_++, interface, id, media::kInterfaceLink | media::kLinkEnabled});
        return id;
    }
    // A data link from a source pad to a sink pad; disabled unless said.
    void link(std::uint32_t from, std::size_t fromPad, std::uint32_t to, std::size_t toPad, std::uint32_t flags = 0) {
        topology_.links.push_back({next_++, pads_.at({from, fromPad}), pads_.at({to, toPad}), flags});
    }
    void rawLink(std::uint32_t source, std::uint32_t sink, std::uint32_t flags) {
        topology_.links.push_back({next_++, source, sink, flags});
    }
    std::uint32_t pad(std::uint32_t entity, std::size_t index) const { return pads_.at({entity, index}); }
    MediaTopology& topology() { return topology_; }

private:
    MediaTopology topology_;
    std::map<std::pair<std::uint32_t, std::size_t>, std::uint32_t> pads_;
    std::uint32_t next_ = 1;
};

constexpr std::uint32_t kFunctionBridge = 0x00005002;  // MEDIA_ENT_F_VID_IF_BRIDGE

// A CSI-2 receiver with `sensor` on it (none where empty), feeding the
// capture nodes 81:<minors>.
inline MediaTopology receiverGraph(const std::string& sensor, const std::vector<std::uint32_t>& minors) {
    GraphBuilder g;
    const std::uint32_t csi = g.entity("CSI2 0", kFunctionBridge, "i" + std::string(minors.size(), 'o'));
    if (!sensor.empty()) g.link(g.entity(sensor, media::kFunctionCameraSensor, "o"), 0, csi, 0);
    for (std::size_t i = 0; i < minors.size(); ++i)
        g.link(csi, i + 1, g.node("Capture " + std::to_string(minors[i]), minors[i]), 0);
    return g.topology();
}

}  // namespace camera_info

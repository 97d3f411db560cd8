// Which capture nodes stand for which cameras, from the media graphs.
#include "discovery/linux/media_graph.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

namespace camera_info {

namespace {

using DeviceNumber = std::pair<std::uint32_t, std::uint32_t>;

bool isDecoder(std::uint32_t function) {
    return function == media::kFunctionAnalogDecoder || function == media::kFunctionDigitalDecoder ||
           function == media::kFunctionTuner || function == media::kFunctionIfVideoDecoder;
}

// Video, VBI, radio and DVB nodes, and the old device-node functions.
bool isDeviceNode(std::uint32_t function) {
    return (function >= media::kFunctionOldNodes && function < media::kFunctionOldSubdevices) ||
           (function >= media::kFunctionDtvNode && function <= media::kFunctionRadioNode);
}

// One graph, indexed once for every node that is walked over it.
class Graph {
public:
    explicit Graph(const MediaTopology& topology) : topology_(topology) {
        for (std::size_t i = 0; i < topology.entities.size(); ++i) entities_.emplace(topology.entities[i].id, i);
        std::unordered_map<std::uint32_t, std::uint32_t> padEntity;
        for (const MediaPad& pad : topology.pads) {
            if (entities_.count(pad.entity) == 0) continue;
            padEntity.emplace(pad.id, pad.entity);
            if ((pad.flags & media::kPadSink) != 0) withSink_.insert(pad.entity);
        }
        std::unordered_map<std::uint32_t, DeviceNumber> interfaces;
        for (const MediaInterface& interface : topology.interfaces)
            interfaces.emplace(interface.id, DeviceNumber{interface.major, interface.minor});
        for (const MediaLink& link : topology.links) {
            const std::uint32_t type = link.flags & media::kLinkType;
            if (type == media::kDataLink) {
                // Sink to source: upstream. Links that start disabled count
                // too: whoever streams enables them.
                const auto from = padEntity.find(link.sink);
                const auto to = padEntity.find(link.source);
                if (from != padEntity.end() && to != padEntity.end()) upstream_[from->second].push_back(to->second);
            } else if (type == media::kInterfaceLink) {
                const auto interface = interfaces.find(link.source);
                if (interface != interfaces.end() && entities_.count(link.sink) != 0)
                    nodeEntities_[interface->second].push_back(link.sink);
            }
            // Ancillary links (a lens, a flash) carry no pictures.
        }
    }

    const MediaEntity& entity(std::uint32_t id) const { return topology_.entities[entities_.at(id)]; }
    bool holds(const DeviceNumber& number) const { return nodeEntities_.count(number) != 0; }

    // Everything upstream of the node's entities, each entity once (graphs
    // may hold cycles), without the entities themselves unless a cycle
    // comes back to them; and whether they have anything upstream at all.
    std::vector<std::uint32_t> upstreamOf(const DeviceNumber& number, bool& fed) const {
        const std::vector<std::uint32_t>& starts = nodeEntities_.at(number);
        std::unordered_set<std::uint32_t> seen;
        std::vector<std::uint32_t> reached, pending;
        fed = false;
        for (const std::uint32_t start : starts) {
            const auto up = upstream_.find(start);
            if (up == upstream_.end()) continue;
            fed = fed || !up->second.empty();
            pending.insert(pending.end(), up->second.begin(), up->second.end());
        }
        // An explicit stack: a chain of ten thousand entities is no trouble.
        while (!pending.empty()) {
            const std::uint32_t id = pending.back();
            pending.pop_back();
            if (!seen.insert(id).second) continue;
            reached.push_back(id);
            const auto up = upstream_.find(id);
            if (up != upstream_.end()) pending.insert(pending.end(), up->second.begin(), up->second.end());
        }
        return reached;
    }

    // A source of pictures of its own: nothing upstream, no sink pad, and no
    // device node (a video output node is memory).
    bool makesPictures(std::uint32_t id) const {
        const MediaEntity& e = entity(id);
        if (isDecoder(e.function)) return true;
        const auto up = upstream_.find(id);
        const bool sourceOnly = (up == upstream_.end() || up->second.empty()) && withSink_.count(id) == 0;
        return sourceOnly && !isDeviceNode(e.function);
    }

private:
    const MediaTopology& topology_;
    std::unordered_map<std::uint32_t, std::size_t> entities_;
    std::unordered_set<std::uint32_t> withSink_;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> upstream_;
    std::map<DeviceNumber, std::vector<std::uint32_t>> nodeEntities_;
};

bool isDecimal(char c) { return c >= '0' && c <= '9'; }
bool isLowerHex(char c) { return isDecimal(c) || (c >= 'a' && c <= 'f'); }

// " <bus>-<address>" at `at` (the space), ending the name or followed by a space.
bool i2cNameAt(const std::string& name, std::size_t at) {
    std::size_t i = at + 1;
    const std::size_t digits = i;
    while (i < name.size() && isDecimal(name[i])) ++i;
    if (i == digits || i >= name.size() || name[i] != '-') return false;
    ++i;
    for (std::size_t k = 0; k < 4; ++k, ++i) {
        if (i >= name.size() || !isLowerHex(name[i])) return false;
    }
    return i == name.size() || name[i] == ' ';
}

}  // namespace

std::vector<CameraSlot> camerasOfNodes(const std::vector<CaptureNode>& nodes,
                                       const std::vector<MediaTopology>& topologies) {
    std::vector<Graph> graphs;
    graphs.reserve(topologies.size());
    for (const MediaTopology& topology : topologies) graphs.emplace_back(topology);

    std::vector<CameraSlot> slots;
    std::set<std::pair<std::size_t, std::uint32_t>> placed;  // sensors already in the list
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        const CaptureNode& node = nodes[n];
        const auto holder = graphMaySpeakFor(node) ? std::find_if(graphs.begin(), graphs.end(),
                                                                  [&](const Graph& g) { return g.holds(*node.number); })
                                                   : graphs.end();
        if (holder == graphs.end()) {
            slots.push_back({n, std::nullopt, 0});
            continue;
        }
        const std::size_t g = static_cast<std::size_t>(holder - graphs.begin());
        bool fed = false;
        const std::vector<std::uint32_t> reached = holder->upstreamOf(*node.number, fed);
        std::vector<std::uint32_t> sensors;
        for (const std::uint32_t id : reached) {
            if (holder->entity(id).function == media::kFunctionCameraSensor) sensors.push_back(id);
        }
        if (!sensors.empty()) {
            std::sort(sensors.begin(), sensors.end(), [&](std::uint32_t a, std::uint32_t b) {
                const std::string& na = holder->entity(a).name;
                const std::string& nb = holder->entity(b).name;
                return na != nb ? na < nb : a < b;
            });
            for (const std::uint32_t id : sensors) {
                if (placed.insert({g, id}).second) slots.push_back({n, g, id});
            }
            continue;
        }
        const bool ownPictures =
            std::any_of(reached.begin(), reached.end(), [&](std::uint32_t id) { return holder->makesPictures(id); });
        if (ownPictures || !fed) slots.push_back({n, std::nullopt, 0});
    }
    return slots;
}

std::optional<bool> capturesInGraph(const MediaTopology& graph, const DeviceNumber& number) {
    std::unordered_set<std::uint32_t> interfaces;
    for (const MediaInterface& interface : graph.interfaces) {
        if (DeviceNumber{interface.major, interface.minor} == number) interfaces.insert(interface.id);
    }
    std::unordered_set<std::uint32_t> entities;
    for (const MediaLink& link : graph.links) {
        if ((link.flags & media::kLinkType) == media::kInterfaceLink && interfaces.count(link.source) != 0)
            entities.insert(link.sink);
    }
    bool known = false, videoNode = false, takesIn = false, givesOut = false;
    for (const MediaEntity& entity : graph.entities) {
        if (entities.count(entity.id) == 0) continue;
        known = true;
        videoNode = videoNode || entity.function == media::kFunctionVideoNode;
    }
    if (!known) return std::nullopt;
    for (const MediaPad& pad : graph.pads) {
        if (entities.count(pad.entity) == 0) continue;
        takesIn = takesIn || (pad.flags & media::kPadSink) != 0;
        givesOut = givesOut || (pad.flags & media::kPadSource) != 0;
    }
    return videoNode && takesIn && !givesOut;
}

std::string sensorModel(const std::string& entityName) {
    const std::size_t firstSpace = entityName.find(' ');
    if (firstSpace == 0 || firstSpace == std::string::npos) return entityName;
    for (std::size_t at = firstSpace; at != std::string::npos; at = entityName.find(' ', at + 1)) {
        if (i2cNameAt(entityName, at)) return entityName.substr(0, firstSpace);
    }
    return entityName;
}

}  // namespace camera_info

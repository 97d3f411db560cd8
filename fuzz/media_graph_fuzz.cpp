// The media graph rule against a plain reference reading of it, over small
// graphs of every shape: cycles, self-links, links to nothing, interfaces of
// any kind, several graphs sharing ids.
#include <algorithm>
#include <set>
#include <vector>

#include "discovery/linux/media_graph.h"
#include "fuzz_input.h"

using namespace camera_info;

namespace {

const std::uint32_t kFunctions[] = {media::kFunctionCameraSensor,
                                    media::kFunctionVideoNode,
                                    media::kFunctionTuner,
                                    media::kFunctionAnalogDecoder,
                                    0x00005002,
                                    0x00004009,
                                    0x00020000,
                                    0,
                                    0x00030002,
                                    media::kFunctionDigitalDecoder,
                                    0x00001002};
const char* const kNames[] = {"ov2740 14-0036", "Sensor A", "Sensor A", "b", "a", "imx219 1-0010"};

// The reference: everything looked up by scanning the whole graph each time.
struct Reference {
    const std::vector<MediaTopology>& graphs;

    const MediaEntity* entity(const MediaTopology& t, std::uint32_t id) const {
        for (const MediaEntity& e : t.entities)
            if (e.id == id) return &e;
        return nullptr;
    }
    const MediaPad* pad(const MediaTopology& t, std::uint32_t id) const {
        for (const MediaPad& p : t.pads)
            if (p.id == id && entity(t, p.entity) != nullptr) return &p;
        return nullptr;
    }
    std::set<std::uint32_t> above(const MediaTopology& t, std::uint32_t id) const {
        std::set<std::uint32_t> out;
        for (const MediaLink& l : t.links) {
            const MediaPad* sink = pad(t, l.sink);
            const MediaPad* source = pad(t, l.source);
            if ((l.flags & media::kLinkType) == media::kDataLink && sink && source && sink->entity == id)
                out.insert(source->entity);
        }
        return out;
    }
    std::set<std::uint32_t> starts(const MediaTopology& t, std::pair<std::uint32_t, std::uint32_t> number) const {
        std::set<std::uint32_t> out;
        for (const MediaLink& l : t.links) {
            if ((l.flags & media::kLinkType) != media::kInterfaceLink || entity(t, l.sink) == nullptr) continue;
            for (const MediaInterface& i : t.interfaces)
                if (i.id == l.source && i.major == number.first && i.minor == number.second) {
                    out.insert(l.sink);
                    break;  // the first interface of that id, as an index keeps it
                }
        }
        return out;
    }
    std::vector<CameraSlot> run(const std::vector<CaptureNode>& nodes) const {
        std::vector<CameraSlot> slots;
        std::set<std::pair<std::size_t, std::uint32_t>> placed;
        for (std::size_t n = 0; n < nodes.size(); ++n) {
            std::size_t g = graphs.size();
            if (!nodes[n].onUsb && nodes[n].number) {
                for (std::size_t k = 0; k < graphs.size() && g == graphs.size(); ++k)
                    if (!starts(graphs[k], *nodes[n].number).empty()) g = k;
            }
            if (g == graphs.size()) {
                slots.push_back({n, std::nullopt, 0});
                continue;
            }
            const MediaTopology& t = graphs[g];
            std::set<std::uint32_t> reached, frontier;
            bool fed = false;
            for (const std::uint32_t s : starts(t, *nodes[n].number)) {
                const auto up = above(t, s);
                fed = fed || !up.empty();
                frontier.insert(up.begin(), up.end());
            }
            while (!frontier.empty()) {
                const std::uint32_t id = *frontier.begin();
                frontier.erase(frontier.begin());
                if (!reached.insert(id).second) continue;
                for (const std::uint32_t up : above(t, id)) frontier.insert(up);
            }
            std::vector<std::uint32_t> sensors;
            bool own = false;
            for (const std::uint32_t id : reached) {
                const MediaEntity& e = *entity(t, id);
                if (e.function == media::kFunctionCameraSensor) sensors.push_back(id);
                bool sink = false;
                for (const MediaPad& p : t.pads) sink = sink || (p.entity == id && (p.flags & media::kPadSink) != 0);
                const bool node =
                    (e.function >= 0x10000 && e.function <= 0x1FFFF) || (e.function >= 0x1001 && e.function <= 0x1003);
                const bool decoder =
                    e.function == media::kFunctionTuner || e.function == media::kFunctionAnalogDecoder ||
                    e.function == media::kFunctionDigitalDecoder || e.function == media::kFunctionIfVideoDecoder;
                own = own || decoder || (above(t, id).empty() && !sink && !node);
            }
            if (!sensors.empty()) {
                std::sort(sensors.begin(), sensors.end(), [&](std::uint32_t a, std::uint32_t b) {
                    return entity(t, a)->name != entity(t, b)->name ? entity(t, a)->name < entity(t, b)->name : a < b;
                });
                for (const std::uint32_t s : sensors)
                    if (placed.insert({g, s}).second) slots.push_back({n, g, s});
            } else if (own || !fed) {
                slots.push_back({n, std::nullopt, 0});
            }
        }
        return slots;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    std::vector<MediaTopology> graphs(1 + input.below(2));
    for (MediaTopology& t : graphs) {
        // Ids from one small range, so that entities, pads, links and
        // interfaces meet, and unknown ids are common.
        const auto id = [&input] { return static_cast<std::uint32_t>(1 + input.below(24)); };
        for (std::size_t n = input.below(10); n > 0; --n)
            t.entities.push_back({id(), kNames[input.below(6)], kFunctions[input.below(sizeof kFunctions / 4)]});
        for (std::size_t n = input.below(20); n > 0; --n)
            t.pads.push_back({id(), id(), static_cast<std::uint32_t>(1 + input.below(3))});
        for (std::size_t n = input.below(6); n > 0; --n)
            t.interfaces.push_back({id(), 0x200, 81, static_cast<std::uint32_t>(input.below(5))});
        for (std::size_t n = input.below(30); n > 0; --n) {
            const std::uint32_t type = static_cast<std::uint32_t>(input.below(4)) << 28;
            t.links.push_back({id(), id(), id(), type | static_cast<std::uint32_t>(input.below(4))});
        }
    }
    // Entity ids are unique within a graph, as the kernel makes them.
    for (MediaTopology& t : graphs) {
        std::set<std::uint32_t> seen;
        t.entities.erase(std::remove_if(t.entities.begin(), t.entities.end(),
                                        [&](const MediaEntity& e) { return !seen.insert(e.id).second; }),
                         t.entities.end());
        std::set<std::uint32_t> pads, interfaces;
        t.pads.erase(
            std::remove_if(t.pads.begin(), t.pads.end(), [&](const MediaPad& p) { return !pads.insert(p.id).second; }),
            t.pads.end());
        t.interfaces.erase(std::remove_if(t.interfaces.begin(), t.interfaces.end(),
                                          [&](const MediaInterface& i) { return !interfaces.insert(i.id).second; }),
                           t.interfaces.end());
    }
    std::vector<CaptureNode> nodes;
    for (std::size_t n = input.below(6); n > 0; --n) {
        CaptureNode node;
        if (input.byte() % 5 != 0) node.number.emplace(81u, static_cast<std::uint32_t>(input.below(5)));
        node.onUsb = input.byte() % 4 == 0;
        nodes.push_back(node);
    }

    const std::vector<CameraSlot> slots = camerasOfNodes(nodes, graphs);
    const std::vector<CameraSlot> expected = Reference{graphs}.run(nodes);
    if (slots.size() != expected.size()) fuzzFinding("another number of entries than the reference");
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (slots[i].node != expected[i].node || slots[i].graph != expected[i].graph ||
            (slots[i].graph && slots[i].sensor != expected[i].sensor))
            fuzzFinding("an entry differs from the reference's");
    }
    return 0;
}

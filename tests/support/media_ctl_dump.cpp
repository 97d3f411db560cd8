// A reader of media-ctl's text, enough for the graph rules.
#include "support/media_ctl_dump.h"

#include <optional>
#include <regex>
#include <set>
#include <sstream>

namespace camera_info {

namespace {

struct DeviceBuilder {
    MediaTopology topology;
    std::map<std::string, std::uint32_t> entityByName;
    std::map<std::pair<std::uint32_t, unsigned>, std::uint32_t> padByIndex;
    std::uint32_t nextId = 1u << 24;  // pads, links and interfaces, apart from entity ids

    std::uint32_t pad(std::uint32_t entity, unsigned index, std::uint32_t flags) {
        const auto key = std::make_pair(entity, index);
        const auto found = padByIndex.find(key);
        if (found != padByIndex.end()) return found->second;
        const std::uint32_t id = nextId++;
        topology.pads.push_back({id, entity, flags});
        padByIndex.emplace(key, id);
        return id;
    }
};

std::string withoutQuoteMarks(std::string line) {
    while (!line.empty() && line[0] == '>') line.erase(0, line.size() > 1 && line[1] == ' ' ? 2 : 1);
    return line;
}

}  // namespace

std::pair<std::uint32_t, std::uint32_t> dumpedNodeNumber(const std::string& devName) {
    static const std::regex video(R"(/dev/video(\d+))");
    std::smatch m;
    if (std::regex_match(devName, m, video)) return {81u, static_cast<std::uint32_t>(std::stoul(m[1]))};
    return {82u, static_cast<std::uint32_t>(std::hash<std::string>()(devName) & 0xFFFFF)};
}

std::vector<MediaTopology> parseMediaCtl(const std::string& text) {
    static const std::regex entityLine(R"(^- entity (\d+): (.*) \(\d+ pads?, \d+ links?.*\)\s*$)");
    static const std::regex typeLine(R"(^\s+type (.*) subtype (\S+) flags)");
    static const std::regex nodeLine(R"(^\s+device node name (\S+))");
    static const std::regex padLine(R"(^\s+pad(\d+): (\S+))");
    static const std::regex linkLine(R"re(^\s+(->|<-) "(.*)":(\d+) \[([A-Z,]*)\]\s*$)re");
    std::vector<DeviceBuilder> devices;
    struct Pending {
        std::uint32_t entity;
        unsigned pad;
        bool outgoing;
        std::string far;
        unsigned farPad;
        bool enabled;
    };
    std::vector<std::vector<Pending>> links;
    // The entity whose lines these are, once one began (a plain value and a
    // flag: GCC 12 at -O2 on 32-bit ARM takes an optional's payload here for
    // uninitialised, -Wmaybe-uninitialized).
    std::uint32_t entity = 0;
    bool inEntity = false;
    unsigned pad = 0;
    std::istringstream lines(text);
    for (std::string raw; std::getline(lines, raw);) {
        const std::string line = withoutQuoteMarks(raw);
        std::smatch m;
        if (line.rfind("Device topology", 0) == 0) {
            devices.emplace_back();
            links.emplace_back();
            inEntity = false;
            // Lines before a device's, and after it those before an entity's,
            // belong to nothing and are skipped alike.
        } else if (devices.empty()) {  // NOLINT(bugprone-branch-clone)
            continue;
        } else if (std::regex_match(line, m, entityLine)) {
            entity = static_cast<std::uint32_t>(std::stoul(m[1]));
            inEntity = true;
            devices.back().topology.entities.push_back({entity, m[2], 0});
            devices.back().entityByName.emplace(m[2], entity);
        } else if (!inEntity) {
            continue;
        } else if (std::regex_search(line, m, typeLine)) {
            // media-ctl names only these functions; the rest print "Unknown".
            const std::string type = m[1], subtype = m[2];
            std::uint32_t function = 0x00020000;  // MEDIA_ENT_F_V4L2_SUBDEV_UNKNOWN
            if (type == "Node")
                function = subtype == "V4L" ? media::kFunctionVideoNode : 0;
            else if (subtype == "Sensor")
                function = media::kFunctionCameraSensor;
            else if (subtype == "Decoder")
                function = media::kFunctionAnalogDecoder;
            else if (subtype == "Lens")
                function = 0x00020003;
            else if (subtype == "Flash")
                function = 0x00020002;
            devices.back().topology.entities.back().function = function;
        } else if (std::regex_search(line, m, nodeLine)) {
            DeviceBuilder& device = devices.back();
            const auto number = dumpedNodeNumber(m[1]);
            const std::uint32_t interface = device.nextId++;
            device.topology.interfaces.push_back({interface, 0x200, number.first, number.second});
            device.topology.links.push_back({device.nextId++, interface, entity, media::kInterfaceLink});
        } else if (std::regex_search(line, m, padLine)) {
            pad = static_cast<unsigned>(std::stoul(m[1]));
            const bool sink = m[2].str().rfind("Sink", 0) == 0 || m[2].str().rfind("SINK", 0) == 0;
            devices.back().pad(entity, pad, sink ? media::kPadSink : media::kPadSource);
        } else if (std::regex_match(line, m, linkLine)) {
            links.back().push_back({entity, pad, m[1] == "->", m[2], static_cast<unsigned>(std::stoul(m[3])),
                                    m[4].str().find("ENABLED") != std::string::npos});
        }
    }
    // Links are made once every entity of the device is known; each is
    // listed at both of its ends and made once.
    std::vector<MediaTopology> topologies;
    for (std::size_t d = 0; d < devices.size(); ++d) {
        DeviceBuilder& device = devices[d];
        std::set<std::pair<std::uint32_t, std::uint32_t>> made;
        for (const Pending& link : links[d]) {
            const auto far = device.entityByName.find(link.far);
            const std::uint32_t here =
                device.pad(link.entity, link.pad, link.outgoing ? media::kPadSource : media::kPadSink);
            const std::uint32_t there =
                far == device.entityByName.end()
                    ? device.nextId++
                    : device.pad(far->second, link.farPad, link.outgoing ? media::kPadSink : media::kPadSource);
            const auto ends = link.outgoing ? std::make_pair(here, there) : std::make_pair(there, here);
            if (!made.insert(ends).second) continue;
            device.topology.links.push_back(
                {device.nextId++, ends.first, ends.second, link.enabled ? media::kLinkEnabled : 0u});
        }
        topologies.push_back(std::move(device.topology));
    }
    return topologies;
}

std::map<std::string, std::string> dumpSections(const std::string& text) {
    static const std::regex sectionLine(R"(^## Section (\w+))");
    std::map<std::string, std::string> sections;
    std::string current;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, sectionLine)) current = m[1];
        sections[current] += line + "\n";
    }
    return sections;
}

}  // namespace camera_info

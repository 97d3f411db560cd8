// Media graphs read from `media-ctl -p` dumps, as users of real machines post
// them, for tests of the graph rules.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "discovery/linux/media_graph.h"

namespace camera_info {

// The device number a dump's /dev name stands for: /dev/videoN is 81:N, as
// on a machine without other video drivers; other nodes get numbers of 82.
std::pair<std::uint32_t, std::uint32_t> dumpedNodeNumber(const std::string& devName);

// The media devices of one dump, in order: each "Device topology" starts one.
// Lines may carry the "> " of a quoted mail; format and route lines, and
// lines a post cut short, are passed over. A link names its far end by
// entity name and pad index: a pad the dump does not list is made from the
// link, and a link to an entity the dump does not hold (an excerpt's end)
// points at a pad no entity has.
std::vector<MediaTopology> parseMediaCtl(const std::string& text);

// The parts of a file of dumps: the text before the first "## Section X"
// line is part "", each such line starts part "X". Parts are separate
// machines.
std::map<std::string, std::string> dumpSections(const std::string& text);

}  // namespace camera_info

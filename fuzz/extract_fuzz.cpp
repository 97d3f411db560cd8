// Identifier extraction against its plain reference reading.
#include "alphabets.h"
#include "discovery/video_input_devices.h"
#include "fuzz_input.h"
#include "support/enumeration_model.h"

using namespace camera_info;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::u16string marker = input.byte() & 1 ? u"pid_" : u"vid_";
    const std::u16string displayName = input.text(extractAlphabet(), 4096);
    const std::u16string id = extractIdAfter(displayName, marker);
    if (id != referenceIdAfter(displayName, marker)) fuzzFinding("extraction differs from the reference");
    if (displayName.find(marker + id) == std::u16string::npos && !id.empty())
        fuzzFinding("identifier is not a part of the display name after the marker");
    if (id.find(u'&') != std::u16string::npos) fuzzFinding("identifier holds the end marker");
    return 0;
}

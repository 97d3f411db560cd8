// Enumeration over a registry driven by the fuzzer's bytes, against the
// reference reading of the rules, with every handle accounted for.
#include "alphabets.h"
#include "discovery/video_input_devices.h"
#include "fuzz_input.h"
#include "support/enumeration_model.h"
#include "support/scripted_registry.h"

using namespace camera_info;

namespace {

Status status(FuzzInput& input) {
    static const Status kStatuses[] = {
        kStatusOk, kStatusOk, kStatusOk, kStatusFalse, 2, kStatusFail, static_cast<Status>(0x80070002u),
        INT32_MIN, INT32_MAX};
    return kStatuses[input.below(sizeof kStatuses / sizeof kStatuses[0])];
}

// A status that ends enumeration: anything but S_OK.
Status ending(FuzzInput& input) {
    const Status s = status(input);
    return s == kStatusOk ? kStatusFalse : s;
}

ScriptedProperty property(FuzzInput& input, const std::u16string& alphabet) {
    ScriptedProperty p;
    p.status = status(input);
    const std::uint8_t shape = input.byte();
    if (shape % 5 != 0) p.text = input.text(alphabet, shape % 7 == 0 ? 600 : 40);
    p.onFailure = static_cast<FailedReadEffect>(input.below(3));
    p.leftBehind = input.text(alphabet, 8);
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const std::u16string alphabet = enumerationAlphabet();
    RegistryScript script;
    script.createDeviceEnumerator = status(input);
    script.createClassEnumerator = status(input);
    script.handOutOnFailure = input.byte() & 1;
    script.endOfDevices = ending(input);
    if (input.byte() & 1) {
        script.nextFailsAt = input.below(8);
        script.nextFailure = ending(input);
    }
    for (std::size_t n = input.below(8); n > 0; --n) {
        ScriptedDevice device;
        device.bind = status(input);
        device.displayStatus = status(input);
        if (input.byte() % 4 == 0)
            device.displayName.reset();
        else
            device.displayName = input.text(alphabet, 200);
        if (input.byte() & 1) device.properties[u"Description"] = property(input, alphabet);
        if (input.byte() & 1) device.properties[u"FriendlyName"] = property(input, alphabet);
        script.devices.push_back(std::move(device));
    }

    const CameraList expected = expectedCameras(script);
    ScriptedRegistry registry(script);
    CameraList cameras;
    const std::int32_t count = listVideoInputDevices(registry, cameras);

    if (count < 0 || static_cast<std::size_t>(count) != cameras.size())
        fuzzFinding("count is not the records appended");
    if (cameras.size() != expected.size()) fuzzFinding("wrong number of records");
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        if (cameras[i].name != expected[i].name || cameras[i].vid != expected[i].vid ||
            cameras[i].pid != expected[i].pid)
            fuzzFinding("a record breaks the rules");
        if (cameras[i].name.size() > 254) fuzzFinding("a name past the buffer");
    }
    if (registry.liveHandles() != 0) fuzzFinding("a handle was leaked");
    if (registry.badReleases() != 0) fuzzFinding("a handle was released twice or never obtained");
    return 0;
}

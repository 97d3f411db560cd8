// Every platform operation failing in every position, for lists of up to
// four devices, checked against the reference reading of the rules.
#include <gtest/gtest.h>

#include <functional>

#include "discovery/video_input_devices.h"
#include "support/enumeration_model.h"
#include "support/scripted_registry.h"

namespace camera_info {

namespace {

bool sameCameras(const CameraList& a, const CameraList& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].vid != b[i].vid || a[i].pid != b[i].pid) return false;
    }
    return true;
}

ScriptedDevice goodDevice(std::size_t i) {
    const std::u16string n(1, static_cast<char16_t>(u'0' + i));
    ScriptedDevice device;
    device.displayName = u"usb#vid_v" + n + u"&pid_p" + n + u"&mi_00#" + n;
    device.properties[u"Description"] = {kStatusOk, u"description " + n, {}, {}};
    device.properties[u"FriendlyName"] = {kStatusOk, u"friendly " + n, FailedReadEffect::Untouched, {}};
    return device;
}

struct Fault {
    std::string where;
    std::function<void(RegistryScript&, Status)> apply;
};

// Each operation at each position it can fail in, for `devices` devices.
std::vector<Fault> faultsFor(std::size_t devices) {
    std::vector<Fault> faults = {
        {"create device enumerator", [](RegistryScript& s, Status f) { s.createDeviceEnumerator = f; }},
        {"create class enumerator", [](RegistryScript& s, Status f) { s.createClassEnumerator = f; }},
        {"end of devices", [](RegistryScript& s, Status f) { s.endOfDevices = f; }},
    };
    for (std::size_t i = 0; i < devices; ++i) {
        const std::string at = " of device " + std::to_string(i);
        faults.push_back({"next" + at, [i](RegistryScript& s, Status f) {
                              s.nextFailsAt = i;
                              s.nextFailure = f;
                          }});
        faults.push_back({"bind" + at, [i](RegistryScript& s, Status f) { s.devices[i].bind = f; }});
        faults.push_back({"display name" + at, [i](RegistryScript& s, Status f) { s.devices[i].displayStatus = f; }});
        for (const char16_t* property : {u"Description", u"FriendlyName"}) {
            for (FailedReadEffect effect :
                 {FailedReadEffect::Untouched, FailedReadEffect::Emptied, FailedReadEffect::Overwritten}) {
                faults.push_back({"read" + at + " effect " + std::to_string(static_cast<int>(effect)),
                                  [i, property, effect](RegistryScript& s, Status f) {
                                      ScriptedProperty& p = s.devices[i].properties[property];
                                      p.status = f;
                                      p.onFailure = effect;
                                      p.leftBehind = u"left behind";
                                  }});
            }
        }
    }
    return faults;
}

TEST(FaultInjection, EveryOperationInEveryPosition) {
    const Status kinds[] = {kStatusFail, static_cast<Status>(0x80070005u), kStatusFalse, Status{2}};
    for (std::size_t devices = 0; devices <= 4; ++devices) {
        for (const Fault& fault : faultsFor(devices)) {
            for (const Status kind : kinds) {
                for (const bool handOut : {false, true}) {
                    RegistryScript script;
                    for (std::size_t i = 0; i < devices; ++i) script.devices.push_back(goodDevice(i));
                    script.handOutOnFailure = handOut;
                    fault.apply(script, kind);
                    const CameraList expected = expectedCameras(script);

                    ScriptedRegistry registry(script);
                    CameraList cameras;
                    const std::int32_t count = listVideoInputDevices(registry, cameras);
                    const std::string what = fault.where + " failing with " + std::to_string(kind) + " among " +
                                             std::to_string(devices) + (handOut ? ", handing out" : "");
                    EXPECT_EQ(static_cast<std::size_t>(count), cameras.size()) << what;
                    EXPECT_TRUE(sameCameras(cameras, expected)) << what;
                    EXPECT_EQ(registry.liveHandles(), 0u) << what;
                    EXPECT_EQ(registry.badReleases(), 0u) << what;
                }
            }
        }
    }
}

// The checks above are only as good as the model; it must see the faults.
TEST(FaultInjection, TheModelSeesFaults) {
    RegistryScript script;
    for (std::size_t i = 0; i < 3; ++i) script.devices.push_back(goodDevice(i));
    EXPECT_EQ(expectedCameras(script).size(), 3u);
    script.devices[1].bind = kStatusFail;
    EXPECT_EQ(expectedCameras(script).size(), 2u);
    script.nextFailsAt = 1;
    EXPECT_EQ(expectedCameras(script).size(), 1u);
    script.createClassEnumerator = kStatusFalse;
    EXPECT_TRUE(expectedCameras(script).empty());
}

}  // namespace

}  // namespace camera_info

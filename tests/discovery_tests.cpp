// The enumeration rules over a scripted registry, and identifier extraction.
#include <gtest/gtest.h>

#include <algorithm>

#include "discovery/video_input_devices.h"
#include "support/name_cases.h"
#include "support/scripted_registry.h"

namespace camera_info {

namespace {

TEST(ExtractIdAfter, DisplayNames) {
    const struct {
        std::u16string displayName;
        std::u16string vid;
        std::u16string pid;
    } cases[] = {
        {u"\\\\?\\usb#vid_1a2b&pid_3c4d&mi_00#6&1c2f&0&0000#{65e8773d}\\global", u"1a2b", u"3c4d"},
        {u"\\\\?\\usb#vid_0a0b&pid_0c0d#5&3a1b&0&2#{65e8773d}", u"0a0b", u"0c0d#5"},
        {u"\\\\?\\usb#vid_0a0b&pid_0c0d#5\\{65e8773d}\\global", u"0a0b", u"0c0d#5\\{65e8773d}\\global"},
        {u"\\\\?\\usb#VID_1A2B&PID_3C4D&MI_00#6", u"", u""},
        {u"usb#vid_", u"", u""},
        {u"usb#vid_&pid_&", u"", u""},
        {u"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\cam", u"", u""},
        {u"", u"", u""},
        {u"pid_9&vid_8", u"8", u"9"},
        {u"vid_1&vid_2&pid_3&pid_4", u"1", u"3"},
        {u"vid_vid_1&", u"vid_1", u""},
        {u"vi_d_1&pid_x", u"", u"x"},
    };
    for (const auto& c : cases) {
        const std::string shown(c.displayName.begin(), c.displayName.end());
        EXPECT_EQ(extractIdAfter(c.displayName, u"vid_"), c.vid) << shown;
        EXPECT_EQ(extractIdAfter(c.displayName, u"pid_"), c.pid) << shown;
    }
}

TEST(NameFromPropertyText, TheNameBufferCutsAt254Units) {
    for (const NameCase& c : nameCases()) EXPECT_EQ(nameFromPropertyText(c.text), c.name) << c.what;
}

ScriptedProperty readable(std::u16string text) { return {kStatusOk, std::move(text), {}, {}}; }
ScriptedProperty unreadable(FailedReadEffect effect = FailedReadEffect::Untouched, std::u16string left = u"") {
    return {kStatusFail, std::nullopt, effect, std::move(left)};
}

ScriptedDevice device(std::map<std::u16string, ScriptedProperty> properties,
                      std::u16string displayName = u"usb#vid_1a2b&pid_3c4d&mi_00#6") {
    ScriptedDevice d;
    d.displayName = std::move(displayName);
    d.properties = std::move(properties);
    return d;
}

ScriptedDevice camera(std::u16string friendlyName) {
    return device({{u"FriendlyName", readable(std::move(friendlyName))}});
}

struct Outcome {
    std::int32_t count;
    CameraList cameras;
    std::vector<std::string> calls;
};

// Every run must leave no handle alive and release none twice.
Outcome run(RegistryScript script, CameraList cameras = {}) {
    ScriptedRegistry registry(std::move(script));
    const std::int32_t count = listVideoInputDevices(registry, cameras);
    EXPECT_EQ(registry.liveHandles(), 0u);
    EXPECT_EQ(registry.badReleases(), 0u);
    return {count, std::move(cameras), registry.calls()};
}

std::vector<std::string> readsOf(const Outcome& r) {
    std::vector<std::string> reads;
    std::copy_if(r.calls.begin(), r.calls.end(), std::back_inserter(reads),
                 [](const std::string& call) { return call.rfind("read ", 0) == 0; });
    return reads;
}

TEST(Enumeration, PropertyReadCombinations) {
    const std::vector<std::string> bothReads = {"read 0 Description", "read 0 FriendlyName"};
    const std::vector<std::string> fallbackReads = {"read 0 Description", "read 0 FriendlyName", "read 0 FriendlyName"};
    const struct {
        const char* what;
        std::map<std::u16string, ScriptedProperty> properties;
        std::optional<std::u16string> name;  // none: no record
        std::vector<std::string> reads;
    } cases[] = {
        {"both readable",
         {{u"Description", readable(u"desc")}, {u"FriendlyName", readable(u"friendly")}},
         u"friendly",
         bothReads},
        {"only the friendly name, read twice", {{u"FriendlyName", readable(u"friendly")}}, u"friendly", fallbackReads},
        {"only the description, failed read leaves the value",
         {{u"Description", readable(u"desc")}, {u"FriendlyName", unreadable()}},
         u"desc",
         bothReads},
        {"only the description, failed read empties the value",
         {{u"Description", readable(u"desc")}, {u"FriendlyName", unreadable(FailedReadEffect::Emptied)}},
         u"",
         bothReads},
        {"only the description, failed read leaves other text",
         {{u"Description", readable(u"desc")}, {u"FriendlyName", unreadable(FailedReadEffect::Overwritten, u"junk")}},
         u"junk",
         bothReads},
        {"only the description, property missing", {{u"Description", readable(u"desc")}}, u"desc", bothReads},
        {"neither", {}, std::nullopt, {"read 0 Description", "read 0 FriendlyName"}},
        {"neither, both failing explicitly",
         {{u"Description", unreadable()}, {u"FriendlyName", unreadable()}},
         std::nullopt,
         {"read 0 Description", "read 0 FriendlyName"}},
        {"empty friendly name", {{u"FriendlyName", readable(u"")}}, u"", fallbackReads},
        {"friendly name that is not text", {{u"FriendlyName", {kStatusOk, std::nullopt, {}, {}}}}, u"", fallbackReads},
        {"description read answering S_FALSE counts as read",
         {{u"Description", {kStatusFalse, u"desc", {}, {}}}, {u"FriendlyName", unreadable()}},
         u"desc",
         bothReads},
        {"friendly name with a NUL inside",
         {{u"FriendlyName", readable(std::u16string(u"cam\0junk", 8))}},
         u"cam",
         fallbackReads},
    };
    for (const auto& c : cases) {
        RegistryScript script;
        script.devices = {device(c.properties)};
        const Outcome r = run(script);
        EXPECT_EQ(readsOf(r), c.reads) << c.what;
        if (!c.name) {
            EXPECT_EQ(r.count, 0) << c.what;
            EXPECT_TRUE(r.cameras.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(r.count, 1) << c.what;
        ASSERT_EQ(r.cameras.size(), 1u) << c.what;
        EXPECT_EQ(r.cameras[0].name, *c.name) << c.what;
        EXPECT_EQ(r.cameras[0].vid, u"1a2b") << c.what;
        EXPECT_EQ(r.cameras[0].pid, u"3c4d") << c.what;
    }
}

TEST(Enumeration, DisplayNamesAsTheyCome) {
    const struct {
        const char* what;
        Status status;
        std::optional<std::u16string> text;
        std::u16string vid, pid;
    } cases[] = {
        {"failed", kStatusFail, u"usb#vid_1&pid_2&", u"", u""},
        {"no text", kStatusOk, std::nullopt, u"", u""},
        {"success code other than S_OK", kStatusFalse, u"usb#vid_1&pid_2&", u"1", u"2"},
        {"NUL before the product marker", kStatusOk, std::u16string(u"usb#vid_1&\0pid_2&", 17), u"1", u""},
        {"a megabyte long", kStatusOk, u"vid_" + std::u16string(1 << 20, u'9'), std::u16string(1 << 20, u'9'), u""},
        // Each marker is looked for from the start of the display name.
        {"the product marker first", kStatusOk, u"usb#pid_9&vid_8&mi_00#", u"8", u"9"},
        {"the product identifier running past the vendor marker", kStatusOk, u"pid_9#vid_8", u"8", u"9#vid_8"},
    };
    for (const auto& c : cases) {
        RegistryScript script;
        ScriptedDevice d = camera(u"cam");
        d.displayStatus = c.status;
        d.displayName = c.text;
        script.devices = {d};
        const Outcome r = run(script);
        ASSERT_EQ(r.cameras.size(), 1u) << c.what;
        EXPECT_EQ(r.cameras[0].vid, c.vid) << c.what;
        EXPECT_EQ(r.cameras[0].pid, c.pid) << c.what;
    }
}

TEST(Enumeration, BindFailuresSkipOnlyThatDevice) {
    RegistryScript script;
    ScriptedDevice unbound = camera(u"unbound");
    unbound.bind = kStatusFail;
    ScriptedDevice boundWithRemark = camera(u"remark");
    boundWithRemark.bind = kStatusFalse;  // success, with a remark
    script.devices = {unbound, camera(u"first"), unbound, boundWithRemark, unbound};
    const Outcome r = run(script);
    ASSERT_EQ(r.count, 2);
    ASSERT_EQ(r.cameras.size(), 2u);
    EXPECT_EQ(r.cameras[0].name, u"first");
    EXPECT_EQ(r.cameras[1].name, u"remark");
    // An unbound device is never asked for anything else.
    EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "display-name 0"), 0);
}

TEST(Enumeration, SetUpFailures) {
    const Status failures[] = {kStatusFail, kStatusFalse, 2};
    for (const bool handOut : {false, true}) {
        for (const Status status : failures) {
            RegistryScript noDeviceEnumerator;
            noDeviceEnumerator.createDeviceEnumerator = status;
            noDeviceEnumerator.handOutOnFailure = handOut;
            noDeviceEnumerator.devices = {camera(u"cam")};
            const Outcome a = run(noDeviceEnumerator);
            // Only a negative status fails here; a remark still gives an enumerator.
            EXPECT_EQ(a.count, status < 0 ? 0 : 1) << status;

            RegistryScript noClassEnumerator;
            noClassEnumerator.createClassEnumerator = status;
            noClassEnumerator.handOutOnFailure = handOut;
            noClassEnumerator.devices = {camera(u"cam")};
            const Outcome b = run(noClassEnumerator);
            EXPECT_EQ(b.count, 0) << status;
            EXPECT_EQ(std::count(b.calls.begin(), b.calls.end(), "next"), 0) << status;
            EXPECT_NE(std::find(b.calls.begin(), b.calls.end(), "release device-enumerator"), b.calls.end());
        }
    }
}

// Whatever a failing set-up handed out is released, the device enumerator
// first, as at the end of every enumeration.
TEST(Enumeration, AFailedClassEnumeratorReleasesWhatWasHandedOut) {
    RegistryScript script;
    script.createClassEnumerator = kStatusFail;
    script.handOutOnFailure = true;
    script.devices = {camera(u"cam")};
    const Outcome r = run(script);
    EXPECT_EQ(r.count, 0);
    const std::vector<std::string> expected = {"initialize", "create-device-enumerator", "create-class-enumerator",
                                               "release device-enumerator", "release class-enumerator"};
    EXPECT_EQ(r.calls, expected);
}

TEST(Enumeration, AnyAnswerButSOkEndsTheLoop) {
    for (const Status status : {kStatusFalse, Status{2}, kStatusFail}) {
        RegistryScript atEnd;
        atEnd.devices = {camera(u"a"), camera(u"b")};
        atEnd.endOfDevices = status;
        EXPECT_EQ(run(atEnd).count, 2) << status;

        RegistryScript midway;
        midway.devices = {camera(u"a"), camera(u"b"), camera(u"c")};
        midway.nextFailsAt = 1;
        midway.nextFailure = status;
        midway.handOutOnFailure = true;
        const Outcome r = run(midway);
        EXPECT_EQ(r.count, 1) << status;
        ASSERT_EQ(r.cameras.size(), 1u);
        EXPECT_EQ(r.cameras[0].name, u"a");
    }
}

TEST(Enumeration, ReleasesInOrder) {
    RegistryScript script;
    ScriptedDevice unbound = camera(u"x");
    unbound.bind = kStatusFail;
    script.devices = {camera(u"a"), unbound};
    const Outcome r = run(script);
    const std::vector<std::string> expected = {
        "initialize",
        "create-device-enumerator",
        "create-class-enumerator",
        "next",
        "bind 0",
        "display-name 0",
        "create-value",
        "read 0 Description",
        "read 0 FriendlyName",
        "read 0 FriendlyName",
        "release value",
        "release bag 0",
        "release moniker 0",
        "next",
        "bind 1",
        "release moniker 1",
        "next",
        "release device-enumerator",
        "release class-enumerator",
    };
    EXPECT_EQ(r.calls, expected);
}

TEST(Enumeration, AppendsInPlatformOrderWithoutMerging) {
    RegistryScript script;
    script.devices = {camera(u"same"), camera(u"same"), camera(u"other")};
    const Outcome r = run(script, {{u"already there", u"", u""}});
    EXPECT_EQ(r.count, 3);
    ASSERT_EQ(r.cameras.size(), 4u);
    EXPECT_EQ(r.cameras[0].name, u"already there");
    EXPECT_EQ(r.cameras[1].name, u"same");
    EXPECT_EQ(r.cameras[2].name, u"same");
    EXPECT_EQ(r.cameras[3].name, u"other");
}

TEST(Enumeration, NoDevices) {
    RegistryScript script;
    const Outcome r = run(script);
    EXPECT_EQ(r.count, 0);
    EXPECT_TRUE(r.cameras.empty());
}

}  // namespace

}  // namespace camera_info

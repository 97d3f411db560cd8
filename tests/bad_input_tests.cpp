// Input nobody here controls, through enumeration and the report: the report
// must always parse back to exactly the records.
#include <gtest/gtest.h>

#include "discovery/video_input_devices.h"
#include "report/camera_report.h"
#include "report/styled_text.h"
#include "report/utf8.h"
#include "support/name_cases.h"
#include "support/report_oracle.h"
#include "support/scripted_registry.h"

namespace camera_info {

namespace {

ScriptedDevice named(std::u16string name, std::u16string displayName = u"usb#vid_1&pid_2&") {
    ScriptedDevice device;
    device.displayName = std::move(displayName);
    device.properties[u"FriendlyName"] = {kStatusOk, std::move(name), {}, {}};
    return device;
}

// Enumerates, writes the report text and parses it back.
Json::Value reportOf(const RegistryScript& script, CameraList& cameras) {
    ScriptedRegistry registry(script);
    const std::int32_t count = listVideoInputDevices(registry, cameras);
    EXPECT_EQ(static_cast<std::size_t>(count), cameras.size());
    EXPECT_EQ(registry.liveHandles(), 0u);
    const std::string text = toStyledText(buildCameraReport(cameras, count));
    Json::Value parsed;
    std::string errors;
    EXPECT_TRUE(parseReport(text, parsed, &errors)) << errors;
    return parsed;
}

void expectReportHolds(const Json::Value& parsed, const CameraList& cameras) {
    ASSERT_EQ(parsed.size(), cameras.size());
    for (Json::ArrayIndex i = 0; i < parsed.size(); ++i) {
        ASSERT_EQ(parsed[i]["name"].asString(), toUtf8(cameras[i].name)) << i;
        ASSERT_EQ(parsed[i]["vid"].asString(), toUtf8(cameras[i].vid)) << i;
        ASSERT_EQ(parsed[i]["pid"].asString(), toUtf8(cameras[i].pid)) << i;
    }
}

TEST(BadInput, NamesOfEveryTroublesomeKind) {
    for (const NameCase& c : nameCases()) {
        RegistryScript script;
        script.devices = {named(c.text)};
        CameraList cameras;
        const Json::Value parsed = reportOf(script, cameras);
        ASSERT_EQ(cameras.size(), 1u) << c.what;
        EXPECT_EQ(cameras[0].name, c.name) << c.what;
        expectReportHolds(parsed, cameras);
    }
}

TEST(BadInput, AMegabyteDisplayName) {
    std::u16string shown = u"usb#vid_" + std::u16string(1 << 20, u'\\') + u"&pid_" + std::u16string(1 << 19, u'"');
    RegistryScript script;
    script.devices = {named(u"cam", shown)};
    CameraList cameras;
    const Json::Value parsed = reportOf(script, cameras);
    ASSERT_EQ(cameras.size(), 1u);
    EXPECT_EQ(cameras[0].vid.size(), 1u << 20);
    EXPECT_EQ(cameras[0].pid.size(), 1u << 19);
    expectReportHolds(parsed, cameras);
}

TEST(BadInput, TenThousandDevices) {
    RegistryScript script;
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i);
        script.devices.push_back(named(u"Camera " + std::u16string(n.begin(), n.end()),
                                       u"usb#vid_" + std::u16string(n.begin(), n.end()) + u"&pid_0&"));
    }
    CameraList cameras;
    const Json::Value parsed = reportOf(script, cameras);
    ASSERT_EQ(cameras.size(), 10000u);
    EXPECT_EQ(cameras[9999].name, u"Camera 9999");
    expectReportHolds(parsed, cameras);
}

}  // namespace

}  // namespace camera_info

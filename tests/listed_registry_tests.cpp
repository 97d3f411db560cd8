// The listed registry: a list of devices, as a platform without COM lists
// them, walked by the enumeration rules as COM's registry would be.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "discovery/listed_registry.h"
#include "discovery/video_input_devices.h"

namespace camera_info {

namespace {

// What one listed device is made of, and what became of it.
struct Script {
    std::u16string displayName;
    std::map<std::u16string, std::u16string> properties;  // the readable ones
};

struct Record {
    int alive = 0;                        // devices not yet freed
    int mostAlive = 0;                    // the most at any read
    std::map<std::u16string, int> reads;  // property reads, by name, of all devices
};

// A device whose state counts itself alive until the registry lets it go.
ListedDevice scripted(const Script& script, Record& record) {
    struct State {
        State(const Script& s, Record& r) : script(s), record(r) { ++record.alive; }
        ~State() { --record.alive; }
        Script script;
        Record& record;
    };
    auto state = std::make_shared<State>(script, record);
    return ListedDevice{[state] { return state->script.displayName; },
                        [state](const std::u16string& name) -> std::optional<std::u16string> {
                            Record& r = state->record;
                            ++r.reads[name];
                            r.mostAlive = std::max(r.mostAlive, r.alive);
                            const auto found = state->script.properties.find(name);
                            if (found == state->script.properties.end()) return std::nullopt;
                            return found->second;
                        }};
}

TEST(ListedRegistry, TheRulesGetWhatTheListHolds) {
    Record record;
    int lists = 0;
    ListedRegistry registry([&] {
        ++lists;
        DeviceList list;
        list.emplace_back(scripted(
            {u"usb#vid_1a2b&pid_3c4d&mi_00#/sys/a", {{u"Description", u"Product"}, {u"FriendlyName", u"Camera A"}}},
            record));
        list.emplace_back(std::nullopt);  // listed, but it leads nowhere
        list.emplace_back(scripted({u"/sys/b", {{u"Description", u"Only a description"}}}, record));
        list.emplace_back(scripted({u"/sys/c", {{u"FriendlyName", u"Only a name"}}}, record));
        list.emplace_back(scripted({u"/sys/d", {}}, record));  // nothing readable: no record
        return list;
    });
    CameraList cameras;
    EXPECT_EQ(listVideoInputDevices(registry, cameras), 3);
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0].name, u"Camera A");
    EXPECT_EQ(cameras[0].vid, u"1a2b");
    EXPECT_EQ(cameras[0].pid, u"3c4d");
    // A friendly name that cannot be read leaves the description in the value.
    EXPECT_EQ(cameras[1].name, u"Only a description");
    EXPECT_EQ(cameras[2].name, u"Only a name");
    EXPECT_EQ(lists, 1) << "the list is made once, when the category is enumerated";
    // The rules ask for the friendly name twice; each is read once a device.
    EXPECT_EQ(record.reads[u"FriendlyName"], 4);
    EXPECT_EQ(record.reads[u"Description"], 4);
    EXPECT_EQ(record.alive, 0) << "every device is freed";
}

TEST(ListedRegistry, EachDeviceGoesWithItsMoniker) {
    Record record;
    ListedRegistry registry([&] {
        DeviceList list;
        for (int i = 0; i < 5; ++i) list.emplace_back(scripted({u"/sys/x", {{u"FriendlyName", u"x"}}}, record));
        return list;
    });
    DeviceEnumeratorHandle enumerator;
    ClassEnumeratorHandle classEnumerator;
    ASSERT_EQ(registry.createDeviceEnumerator(enumerator), kStatusOk);
    ASSERT_EQ(registry.createClassEnumerator(enumerator, classEnumerator), kStatusOk);
    for (int i = 0; i < 5; ++i) {
        MonikerHandle moniker;
        PropertyBagHandle bag;
        ASSERT_EQ(registry.nextDevice(classEnumerator, moniker), kStatusOk);
        ASSERT_EQ(registry.bindPropertyBag(moniker, bag), kStatusOk);
        const PropertyValueHandle value = registry.createPropertyValue();
        EXPECT_EQ(registry.readProperty(bag, u"FriendlyName", value), kStatusOk);
        EXPECT_EQ(registry.propertyText(value), std::optional<std::u16string>(u"x"));
        registry.release(value);
        registry.release(bag);
        // The list keeps nothing of a device handed out: the moniker holds it.
        EXPECT_EQ(record.alive, 5 - i);
        registry.release(moniker);
        EXPECT_EQ(record.alive, 4 - i);
    }
    MonikerHandle past;
    EXPECT_EQ(registry.nextDevice(classEnumerator, past), kStatusFalse);
    registry.release(classEnumerator);
    registry.release(enumerator);
    EXPECT_EQ(record.mostAlive, 5);
}

TEST(ListedRegistry, TheStatusesTheRulesExpect) {
    // An empty list is the empty category: S_FALSE, and no enumerator.
    ListedRegistry empty([] { return DeviceList(); });
    DeviceEnumeratorHandle enumerator;
    ClassEnumeratorHandle classEnumerator;
    ASSERT_EQ(empty.createDeviceEnumerator(enumerator), kStatusOk);
    EXPECT_EQ(empty.createClassEnumerator(enumerator, classEnumerator), kStatusFalse);
    EXPECT_FALSE(classEnumerator);
    empty.release(enumerator);

    Record record;
    ListedRegistry registry([&] {
        DeviceList list;
        list.emplace_back(std::nullopt);
        list.emplace_back(scripted({u"/sys/a", {{u"Description", u"kept"}}}, record));
        return list;
    });
    ASSERT_EQ(registry.createDeviceEnumerator(enumerator), kStatusOk);
    ASSERT_EQ(registry.createClassEnumerator(enumerator, classEnumerator), kStatusOk);
    MonikerHandle moniker;
    PropertyBagHandle bag;
    // A device that leads nowhere fails to bind, as a device COM cannot reach.
    ASSERT_EQ(registry.nextDevice(classEnumerator, moniker), kStatusOk);
    EXPECT_LT(registry.bindPropertyBag(moniker, bag), 0);
    registry.release(moniker);
    // A property that cannot be read fails and leaves the value as it was.
    ASSERT_EQ(registry.nextDevice(classEnumerator, moniker), kStatusOk);
    ASSERT_EQ(registry.bindPropertyBag(moniker, bag), kStatusOk);
    std::optional<std::u16string> shown;
    EXPECT_EQ(registry.displayName(moniker, shown), kStatusOk);
    EXPECT_EQ(shown, std::optional<std::u16string>(u"/sys/a"));
    const PropertyValueHandle value = registry.createPropertyValue();
    EXPECT_EQ(registry.propertyText(value), std::nullopt) << "a fresh value holds no text";
    EXPECT_EQ(registry.readProperty(bag, u"Description", value), kStatusOk);
    EXPECT_LT(registry.readProperty(bag, u"FriendlyName", value), 0);
    EXPECT_EQ(registry.propertyText(value), std::optional<std::u16string>(u"kept"));
    registry.release(value);
    registry.release(bag);
    registry.release(moniker);
    registry.release(classEnumerator);
    registry.release(enumerator);
    EXPECT_EQ(record.alive, 0);
}

}  // namespace

}  // namespace camera_info

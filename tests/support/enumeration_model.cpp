// The reference reading of the enumeration rules.
#include "support/enumeration_model.h"

#include <cstddef>

namespace camera_info {

namespace {

std::u16string beforeNul(const std::u16string& text) {
    std::u16string out;
    for (char16_t unit : text) {
        if (unit == 0) break;
        out += unit;
    }
    return out;
}

}  // namespace

std::u16string referenceIdAfter(const std::u16string& displayName, const std::u16string& marker) {
    const std::size_t n = displayName.size(), m = marker.size();
    for (std::size_t at = 0; at + m <= n; ++at) {
        bool match = true;
        for (std::size_t k = 0; k < m && match; ++k) match = displayName[at + k] == marker[k];
        if (!match) continue;
        std::u16string id;
        for (std::size_t i = at + m; i < n && displayName[i] != u'&'; ++i) id += displayName[i];
        return id;
    }
    return {};
}

CameraList expectedCameras(const RegistryScript& script) {
    if (script.createDeviceEnumerator < 0 || script.createClassEnumerator != 0) return {};
    std::size_t seen = script.devices.size();
    if (script.nextFailsAt && *script.nextFailsAt < seen) seen = *script.nextFailsAt;

    CameraList cameras;
    for (std::size_t i = 0; i < seen; ++i) {
        const ScriptedDevice& device = script.devices[i];
        if (device.bind < 0) continue;
        const std::u16string shown =
            device.displayStatus < 0 || !device.displayName ? std::u16string() : beforeNul(*device.displayName);

        std::optional<std::u16string> value;
        auto read = [&](const std::u16string& name) {
            const auto it = device.properties.find(name);
            if (it == device.properties.end()) return false;
            const ScriptedProperty& property = it->second;
            if (property.status >= 0) {
                value = property.text;
                return true;
            }
            if (property.onFailure == FailedReadEffect::Emptied) value.reset();
            if (property.onFailure == FailedReadEffect::Overwritten) value = property.leftBehind;
            return false;
        };
        if (!read(u"Description") && !read(u"FriendlyName")) continue;
        read(u"FriendlyName");

        // The buffer keeps 254 units of the text before its first NUL. A name
        // it cut does not end in a high surrogate: what followed is gone.
        const std::u16string text = beforeNul(value.value_or(u""));
        std::u16string name;
        for (std::size_t i = 0; i < text.size() && i < 254; ++i) name += text[i];
        const bool cut = name.size() < text.size();
        if (cut && !name.empty() && name.back() >= 0xD800 && name.back() <= 0xDBFF) name.pop_back();
        cameras.push_back({name, referenceIdAfter(shown, u"vid_"), referenceIdAfter(shown, u"pid_")});
    }
    return cameras;
}

}  // namespace camera_info

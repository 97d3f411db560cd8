// The Linux backend lists: each class entry joined to its place on the USB,
// whether it captures and which sensor stands in its place, then presented to
// the enumeration rules by the listed registry.
#include "discovery/linux/video_devices.h"

#include <sys/sysmacros.h>

#include <memory>
#include <utility>
#include <vector>

#include "discovery/linux/capture_nodes.h"
#include "discovery/linux/graph_cameras.h"
#include "discovery/linux/kernel_name.h"
#include "discovery/linux/sysfs_reading.h"
#include "discovery/linux/usb_place.h"
#include "text/utf.h"

namespace camera_info {

namespace {

// The display name carries the sysfs path for whoever reads it, with "%" and
// "_" written as %25 and %5F: no text from the path ("rapid_capture")
// can read as an id marker, only the ids written here.
std::string markerFree(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '%')
            out += "%25";
        else if (c == '_')
            out += "%5F";
        else
            out += c;
    }
    return out;
}

std::optional<std::u16string> decoded(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    return decodeUtf8(*text);
}

ListedDevice nodeDevice(const std::shared_ptr<VideoNode>& node) {
    ListedDevice device;
    device.displayName = [node] {
        std::string shown = markerFree(node->directory);
        // Ids only ever come from a USB device's own attributes, as Windows
        // puts them in a USB device's path.
        if (node->usb && node->usb->hasIds()) {
            const UsbPlace& usb = *node->usb;
            shown = "usb#vid_" + *usb.idVendor + "&pid_" + *usb.idProduct + "&mi_" + usb.interfaceNumber.value_or("") +
                    "#" + shown;
        }
        return decodeUtf8(shown);
    };
    device.property = [node](const std::u16string& name) -> std::optional<std::u16string> {
        if (name == u"FriendlyName") return decoded(wholeNameOf(*node));
        if (name == u"Description" && node->usb) return decoded(productOf(*node));
        return std::nullopt;
    };
    return device;
}

// A sensor is named by its media device and entity, and has a name and
// nothing more: it is no USB device.
ListedDevice sensorDevice(Sensor sensor) {
    auto held = std::make_shared<const Sensor>(std::move(sensor));
    ListedDevice device;
    device.displayName = [held] { return decodeUtf8(markerFree(held->mediaDevice + "#" + held->name)); };
    device.property = [held](const std::u16string& name) -> std::optional<std::u16string> {
        if (name != u"FriendlyName") return std::nullopt;
        return decodeUtf8(sensorModel(wholeNodeName(held->name, std::nullopt)));
    };
    return device;
}

// A class entry on its way into the list.
struct Candidate {
    KernelDevice device;
    std::shared_ptr<VideoNode> node;  // none for an entry that leads nowhere
};

}  // namespace

DeviceList listVideoDevices(const std::string& sysRoot, const std::string& devRoot, const DeviceQueries& queries) {
    // A machine without video devices has no class directory: it is told so
    // by one failed open, before anything else is looked up.
    const std::vector<std::string> names = nodeNames(sysRoot + "/class/video4linux", "video");
    if (names.empty()) return {};
    const KernelPaths paths = kernelPaths(sysRoot, devRoot);
    const std::optional<std::string> classDir = resolvedDirectory(paths.sys + "/class/video4linux");
    if (!classDir) return {};
    std::vector<Candidate> candidates;
    UsbPlaces places;
    bool graphsMatter = false;
    for (const std::string& name : names) {
        Candidate candidate{kernelDevice(paths, *classDir, name), nullptr};
        if (candidate.device.directory) {
            candidate.node = std::make_shared<VideoNode>();
            candidate.node->directory = std::move(*candidate.device.directory);
            candidate.node->usb = usbPlaceOf(candidate.node->directory, paths.sys, places);
        }
        graphsMatter = graphsMatter || candidate.device.number.has_value();
        candidates.push_back(std::move(candidate));
    }
    // Each media device is read once, and only where some node has a number
    // that a graph could hold.
    const Graphs graphs = graphsMatter ? readGraphs(paths, queries) : Graphs{};

    // What the graph rule needs of each capture node; a class entry that
    // leads nowhere stays, for the rules to skip.
    std::vector<const Candidate*> capturing;
    std::vector<CaptureNode> nodes;
    for (const Candidate& candidate : candidates) {
        if (candidate.node && !captures(candidate.device, *candidate.node, graphs.topologies, queries)) continue;
        CaptureNode captureNode;
        if (candidate.device.number)
            captureNode.number = {{major(*candidate.device.number), minor(*candidate.device.number)}};
        captureNode.onUsb = candidate.node && candidate.node->usb;
        capturing.push_back(&candidate);
        nodes.push_back(captureNode);
    }

    DeviceList list;
    for (std::variant<std::size_t, Sensor>& camera : camerasOf(nodes, graphs)) {
        if (Sensor* sensor = std::get_if<Sensor>(&camera)) {
            list.emplace_back(sensorDevice(std::move(*sensor)));
        } else if (const std::shared_ptr<VideoNode>& node = capturing[std::get<std::size_t>(camera)]->node) {
            list.emplace_back(nodeDevice(node));
        } else {
            list.emplace_back(std::nullopt);
        }
    }
    return list;
}

std::unique_ptr<DeviceRegistry> makePlatformRegistry() {
    return std::make_unique<ListedRegistry>([] { return listVideoDevices("/sys", "/dev", kernelQueries()); });
}

}  // namespace camera_info

// The Linux registry joins what the kernel tells of each video node: what it
// is, where it sits and which media graph speaks for it. Files are read
// through sysfs_reading, the kernel's ioctls asked through DeviceQueries.
#include "sysfs_registry.h"

#include <linux/videodev2.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "kernel_name.h"
#include "media_graph.h"
#include "sysfs_reading.h"
#include "usb_descriptors.h"
#include "utf.h"

namespace {

constexpr Status kNotFound = static_cast<Status>(0x80070002u);  // HRESULT of ERROR_FILE_NOT_FOUND

// A camera sensor of a media device's graph, listed in a capture node's place.
struct Sensor {
    std::string mediaDevice;  // the media device's sysfs directory
    std::string name;         // the entity's name
};

// Where a node sits on the USB: the device and, for a driver bound to one of
// its functions, that interface; the ids where the device has them as the
// kernel writes them.
struct UsbPlace {
    std::string device;
    std::optional<std::string> interface;
    std::optional<std::string> interfaceNumber;  // bInterfaceNumber
    std::optional<std::string> idVendor;
    std::optional<std::string> idProduct;
    bool hasIds() const { return idVendor && idProduct; }
};

// A text read once, when first asked for, and kept.
class Once {
public:
    template <typename Read>
    const std::optional<std::string>& get(Read read) {
        if (!read_) {
            text_ = read();
            read_ = true;
        }
        return text_;
    }

private:
    bool read_ = false;
    std::optional<std::string> text_;
};

// A video node: where it is in sysfs and on the USB, read when the category
// is made, and the texts its properties come from, each read once.
struct Node {
    std::string directory;  // resolved
    std::shared_ptr<const UsbPlace> usb;  // shared by the nodes of one device
    Once name;              // made whole
    Once product;
};

// One entry of the category: a node, or a sensor; neither for a class entry
// that leads nowhere.
struct Entry {
    std::shared_ptr<Node> node;
    std::optional<Sensor> sensor;
};

struct ClassEnumerator {
    std::vector<Entry> entries;  // in node-number order
    std::size_t next = 0;
};

struct Moniker {
    Entry entry;
};

struct PropertyBag {
    Entry entry;
};

struct PropertyValue {
    std::optional<std::u16string> text;
};

template <typename T>
T* from(Handle handle) {
    return reinterpret_cast<T*>(handle);
}

template <typename T>
Handle handOut(std::unique_ptr<T> object) {
    return reinterpret_cast<Handle>(object.release());
}

// A node's device is the directory its video4linux directory sits in, as the
// kernel lays class devices out under devices/; elsewhere (an old kernel's
// real directory in /sys/class, whose `device` link names a USB camera's
// device itself) its `device` link says.
std::optional<std::string> deviceOf(const std::string& node, const std::string& sys) {
    const std::string classDir = parentOf(node);
    const std::string devices = sys + "/devices/";
    if (baseNameOf(classDir) == "video4linux" && node.compare(0, devices.size(), devices) == 0)
        return parentOf(classDir);
    return resolvedDirectory(node + "/device");
}

// Whether a device is on the USB is what its `subsystem` link names; a
// driver is bound to an interface (which has a number) or to the whole device.
std::optional<UsbPlace> usbPlaceOfDevice(const std::string& device) {
    if (linkName(device + "/subsystem") != "usb") return std::nullopt;
    UsbPlace place;
    place.interfaceNumber = hexAttribute(device + "/bInterfaceNumber", 2);
    if (place.interfaceNumber) {
        place.interface = device;
        place.device = parentOf(device);
    } else {
        place.device = device;
    }
    place.idVendor = hexAttribute(place.device + "/idVendor", 4);
    if (place.idVendor) place.idProduct = hexAttribute(place.device + "/idProduct", 4);
    return place;
}

// The nodes of one device (a camera's capture and metadata nodes, vivid's
// instances) share its place, read once.
using UsbPlaces = std::map<std::string, std::shared_ptr<const UsbPlace>>;

std::shared_ptr<const UsbPlace> usbPlaceOf(const std::string& node, const std::string& sys, UsbPlaces& known) {
    const std::optional<std::string> device = deviceOf(node, sys);
    if (!device) return nullptr;
    const auto found = known.find(*device);
    if (found != known.end()) return found->second;
    std::optional<UsbPlace> place = usbPlaceOfDevice(*device);
    return known.emplace(*device, place ? std::make_shared<const UsbPlace>(std::move(*place)) : nullptr).first->second;
}

const std::optional<std::string>& productOf(Node& node) {
    return node.product.get([&] { return readLine(node.usb->device + "/product"); });
}

// Where a USB device's raw descriptors are read, no more than this is taken:
// the configurations that come first, and the active one is nearly always
// the first, fit many times over.
constexpr std::size_t kDescriptorBytes = 64 * 1024;

// Whether the interface's `interface` attribute is the text that uvcvideo
// put in the node's name: the driver prefers the interface association's
// iFunction, whose text sysfs does not show. Where the descriptors cannot be
// read or make no sense, it is taken to be, as it nearly always is.
bool nameTakesInterfaceText(const UsbPlace& usb) {
    const std::optional<std::string> descriptors = readAttribute(usb.device + "/descriptors", kDescriptorBytes);
    const std::optional<std::string> configuration = readLine(usb.device + "/bConfigurationValue");
    if (!descriptors || !configuration || !usb.interfaceNumber) return true;
    char* end = nullptr;
    const unsigned long value = std::strtoul(configuration->c_str(), &end, 10);
    if (configuration->empty() || *end != '\0' || value > 255) return true;
    const std::optional<FunctionStrings> strings = functionStrings(
        *descriptors, static_cast<unsigned>(value), static_cast<unsigned>(std::stoul(*usb.interfaceNumber, nullptr, 16)));
    return !strings || functionNamedByInterface(*strings);
}

// What the driver of a USB node meant to call it, as far as sysfs tells;
// none where the driver named it with a text sysfs does not show.
std::optional<std::string> intendedName(Node& node) {
    if (!node.usb || !node.usb->hasIds()) return std::nullopt;
    const UsbPlace& usb = *node.usb;
    std::optional<std::string> function;
    if (usb.interface) {
        if (!nameTakesInterfaceText(usb)) return std::nullopt;
        function = readLine(*usb.interface + "/interface");
    }
    return uvcNodeName(productOf(node), *usb.idVendor, *usb.idProduct, function);
}

// The display name carries the sysfs path for whoever reads it, with "%" and
// "_" written as %25 and %5F: no text from the path ("rapid_capture")
// can read as an id marker, only the ids the registry writes itself.
std::string markerFree(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c == '%') out += "%25";
        else if (c == '_') out += "%5F";
        else out += c;
    }
    return out;
}

// "video" or "media" followed by a number, as the kernel names its nodes.
bool isNodeName(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    return std::all_of(name.begin() + prefix.size(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// video2 before video10, without parsing numbers that may not fit.
bool byNodeNumber(const std::string& a, const std::string& b) {
    auto digits = [](const std::string& name) {
        std::string number = name.substr(5);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
        return number;
    };
    const std::string da = digits(a);
    const std::string db = digits(b);
    if (da.size() != db.size()) return da.size() < db.size();
    if (da != db) return da < db;
    return a < b;
}

// The kernel's nodes named `prefix`<number> in `directory`, in node-number order.
std::vector<std::string> nodeNames(const std::string& directory, const std::string& prefix) {
    std::vector<std::string> names = namesIn(directory);
    names.erase(std::remove_if(names.begin(), names.end(), [&](const std::string& n) { return !isNodeName(n, prefix); }),
                names.end());
    std::sort(names.begin(), names.end(), byNodeNumber);
    return names;
}

using Number = std::pair<std::uint32_t, std::uint32_t>;

Number numberOf(dev_t number) { return {major(number), minor(number)}; }

// The graphs of the machine's media devices that can be read whole, each
// read once, with the sysfs directory of each. A media device that cannot be
// opened or read (no permission, gone, a kernel without the media
// controller) has no graph, and its nodes stay as they are. Reading a graph
// wakes nothing: the kernel answers from what it keeps.
struct Graphs {
    std::vector<std::string> devices;
    std::vector<MediaTopology> topologies;
};

Graphs readGraphs(const KernelPaths& paths, const DeviceQueries& queries) {
    Graphs graphs;
    const std::optional<std::string> bus = resolvedDirectory(paths.sys + "/bus/media/devices");
    if (!bus) return graphs;
    for (const std::string& name : nodeNames(*bus, "media")) {
        KernelDevice device = kernelDevice(paths, *bus, name);
        if (!device.node || !device.directory) continue;
        const Descriptor fd = openDevice(*device.node);
        if (!fd) continue;
        std::optional<MediaTopology> topology = queries.mediaTopology(fd.get());
        if (!topology) continue;
        graphs.devices.push_back(std::move(*device.directory));
        graphs.topologies.push_back(std::move(*topology));
    }
    return graphs;
}

// A class entry on its way into the category.
struct Candidate {
    KernelDevice device;
    std::shared_ptr<Node> node;
};

bool capturesByCapabilities(std::uint32_t caps) {
    const std::uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
    const std::uint32_t notInput =
        V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_VIDEO_OUTPUT_MPLANE | V4L2_CAP_VIDEO_M2M | V4L2_CAP_VIDEO_M2M_MPLANE;
    return (caps & capture) != 0 && (caps & notInput) == 0;
}

// Whether a USB device may be asked without waking it: it is awake
// ("active"), or it has no runtime power management at all (no status, or
// "unsupported"). One on its way to sleep or back, in error, or whose status
// cannot be read is left alone like a sleeping one.
bool awakeAnyway(const UsbPlace& usb) {
    const std::string status = usb.device + "/power/runtime_status";
    if (const std::optional<std::string> text = readLine(status)) return *text == "active" || *text == "unsupported";
    return isAbsent(status);
}

// Whether a node captures, and is neither an output, memory-to-memory nor
// metadata node. A node on USB is never opened: uvcvideo powers a camera up
// when one of its nodes opens (on 6.1 and 6.12; it stopped doing so for
// such queries in 2025), so the graph of its USB function says, which the
// kernel answers from memory; where no graph holds it, it is asked only
// while its USB device is awake anyway. Any other node is asked
// (VIDIOC_QUERYCAP). A node that cannot be asked is taken for a capture node
// unless an index other than 0 gives it away as a second node of its device
// (a UVC camera's metadata twin).
bool captures(const Candidate& candidate, const Graphs& graphs, const DeviceQueries& queries) {
    const KernelDevice& device = candidate.device;
    const std::shared_ptr<const UsbPlace>& usb = candidate.node->usb;
    if (usb && device.number) {
        for (const MediaTopology& graph : graphs.topologies) {
            if (const std::optional<bool> held = capturesInGraph(graph, numberOf(*device.number))) return *held;
        }
    }
    if (device.node && (!usb || awakeAnyway(*usb))) {
        if (const Descriptor fd = openDevice(*device.node)) {
            if (const std::optional<std::uint32_t> caps = queries.videoCapabilities(fd.get()))
                return capturesByCapabilities(*caps);
        }
    }
    const std::optional<std::string> index = readLine(candidate.node->directory + "/index");
    return !index || *index == "0";
}

}  // namespace

SysfsRegistry::SysfsRegistry(std::string sysRoot, std::string devRoot, DeviceQueries queries)
    : sysRoot_(std::move(sysRoot)), devRoot_(std::move(devRoot)), queries_(std::move(queries)) {}

void SysfsRegistry::initialize() {}

Status SysfsRegistry::createDeviceEnumerator(Handle& deviceEnumerator) {
    // Nothing to set up; the handle only has to be distinct and releasable.
    deviceEnumerator = handOut(std::make_unique<int>(0));
    return kStatusOk;
}

Status SysfsRegistry::createClassEnumerator(Handle, Handle& classEnumerator) {
    // A machine without video devices has no class directory: it is told so
    // by one failed open, before anything else is looked up.
    const std::vector<std::string> names = nodeNames(sysRoot_ + "/class/video4linux", "video");
    if (names.empty()) return kStatusFalse;  // the empty category
    const KernelPaths paths = kernelPaths(sysRoot_, devRoot_);
    const std::optional<std::string> classDir = resolvedDirectory(paths.sys + "/class/video4linux");
    if (!classDir) return kStatusFalse;
    std::vector<Candidate> candidates;
    UsbPlaces places;
    bool graphsMatter = false;
    for (const std::string& name : names) {
        Candidate candidate{kernelDevice(paths, *classDir, name), nullptr};
        if (candidate.device.directory) {
            candidate.node = std::make_shared<Node>();
            candidate.node->directory = std::move(*candidate.device.directory);
            candidate.node->usb = usbPlaceOf(candidate.node->directory, paths.sys, places);
        }
        graphsMatter = graphsMatter || candidate.device.number.has_value();
        candidates.push_back(std::move(candidate));
    }
    // Each media device is read once, and only where some node has a number
    // that a graph could hold.
    const Graphs graphs = graphsMatter ? readGraphs(paths, queries_) : Graphs{};

    // What the graph rule needs of each capture node.
    std::vector<Entry> found;
    std::vector<CaptureNode> nodes;
    for (const Candidate& candidate : candidates) {
        // A class entry that leads nowhere stays, for the rules to skip.
        if (candidate.node && !captures(candidate, graphs, queries_)) continue;
        CaptureNode captureNode;
        if (candidate.device.number) captureNode.number = numberOf(*candidate.device.number);
        captureNode.onUsb = candidate.node && candidate.node->usb;
        found.push_back(Entry{candidate.node, std::nullopt});
        nodes.push_back(captureNode);
    }
    if (found.empty()) return kStatusFalse;

    auto enumerator = std::make_unique<ClassEnumerator>();
    for (const CameraSlot& slot : camerasOfNodes(nodes, graphs.topologies)) {
        if (!slot.graph) {
            enumerator->entries.push_back(found[slot.node]);
            continue;
        }
        for (const MediaEntity& entity : graphs.topologies[*slot.graph].entities) {
            if (entity.id == slot.sensor) {
                enumerator->entries.push_back(Entry{nullptr, Sensor{graphs.devices[*slot.graph], entity.name}});
            }
        }
    }
    if (enumerator->entries.empty()) return kStatusFalse;
    classEnumerator = handOut(std::move(enumerator));
    return kStatusOk;
}

Status SysfsRegistry::nextDevice(Handle classEnumerator, Handle& moniker) {
    ClassEnumerator& enumerator = *from<ClassEnumerator>(classEnumerator);
    if (enumerator.next >= enumerator.entries.size()) return kStatusFalse;
    // Each entry is handed out once: what was read of it goes with the
    // moniker, and not a node's worth more is kept for the rest of the run.
    moniker = handOut(std::make_unique<Moniker>(Moniker{std::move(enumerator.entries[enumerator.next++])}));
    return kStatusOk;
}

Status SysfsRegistry::bindPropertyBag(Handle moniker, Handle& propertyBag) {
    const Entry& entry = from<Moniker>(moniker)->entry;
    if (!entry.sensor && !entry.node) return kNotFound;  // a dangling class entry
    propertyBag = handOut(std::make_unique<PropertyBag>(PropertyBag{entry}));
    return kStatusOk;
}

Status SysfsRegistry::displayName(Handle moniker, std::optional<std::u16string>& text) {
    const Entry& entry = from<Moniker>(moniker)->entry;
    // A sensor is named by its media device and entity: nothing on USB.
    if (entry.sensor) {
        text = decodeUtf8(markerFree(entry.sensor->mediaDevice + "#" + entry.sensor->name));
        return kStatusOk;
    }
    if (!entry.node) return kNotFound;
    std::string shown = markerFree(entry.node->directory);
    // Ids only ever come from a USB device's own attributes, as Windows puts
    // them in a USB device's path.
    const std::shared_ptr<const UsbPlace>& usb = entry.node->usb;
    if (usb && usb->hasIds()) {
        shown = "usb#vid_" + *usb->idVendor + "&pid_" + *usb->idProduct + "&mi_" + usb->interfaceNumber.value_or("") +
                "#" + shown;
    }
    text = decodeUtf8(shown);
    return kStatusOk;
}

Handle SysfsRegistry::createPropertyValue() { return handOut(std::make_unique<PropertyValue>()); }

Status SysfsRegistry::readProperty(Handle propertyBag, const std::u16string& name, Handle value) {
    const Entry& entry = from<PropertyBag>(propertyBag)->entry;
    std::optional<std::string> text;
    if (entry.sensor) {
        // A sensor has a name and nothing more: it is no USB device.
        if (name == u"FriendlyName") text = sensorModel(wholeNodeName(entry.sensor->name, std::nullopt));
    } else if (name == u"FriendlyName") {
        Node& node = *entry.node;
        text = node.name.get([&] {
            std::optional<std::string> kept = readLine(node.directory + "/name");
            // Only a name that fills the kernel's bytes can have been cut.
            if (kept && kept->size() == kKernelNameBytes) kept = wholeNodeName(*kept, intendedName(node));
            return kept;
        });
    } else if (name == u"Description" && entry.node->usb) {
        text = productOf(*entry.node);
    }
    if (!text) return kNotFound;  // the value is left as it was
    from<PropertyValue>(value)->text = decodeUtf8(*text);
    return kStatusOk;
}

std::optional<std::u16string> SysfsRegistry::propertyText(Handle value) { return from<PropertyValue>(value)->text; }

void SysfsRegistry::release(HandleKind kind, Handle handle) {
    switch (kind) {
        case HandleKind::DeviceEnumerator: delete from<int>(handle); break;
        case HandleKind::ClassEnumerator: delete from<ClassEnumerator>(handle); break;
        case HandleKind::Moniker: delete from<Moniker>(handle); break;
        case HandleKind::PropertyBag: delete from<PropertyBag>(handle); break;
        case HandleKind::PropertyValue: delete from<PropertyValue>(handle); break;
    }
}

std::unique_ptr<DeviceRegistry> makePlatformRegistry() { return std::make_unique<SysfsRegistry>(); }

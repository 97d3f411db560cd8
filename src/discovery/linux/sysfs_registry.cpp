// All of the Linux registry's reading of sysfs and /dev lives here.
#include "sysfs_registry.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "kernel_name.h"
#include "media_graph.h"
#include "usb_descriptors.h"
#include "utf.h"

namespace {

constexpr Status kNotFound = static_cast<Status>(0x80070002u);  // HRESULT of ERROR_FILE_NOT_FOUND

// A camera sensor of a media device's graph, listed in a capture node's place.
struct Sensor {
    std::string mediaDevice;  // the media device's sysfs directory
    std::string name;         // the entity's name
};

// Where a node sits on the USB: the device that holds the ids and, for a
// driver bound to one of its functions, that interface.
struct UsbPlace {
    std::string device;
    std::optional<std::string> interface;
    std::string idVendor;
    std::string idProduct;
};

// One entry of the category: a capture node or a sensor. A node's sysfs
// directory and place on the USB are read once, when the category is made.
struct Entry {
    std::optional<std::string> node;  // the node's resolved sysfs directory; none for a dangling entry
    std::optional<UsbPlace> usb;      // where the node sits on the USB, if it does
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
    std::string node;              // the node's resolved sysfs directory
    std::optional<UsbPlace> usb;  // where it sits on the USB, if it does
    std::optional<std::string> sensor;  // a sensor's entity name, for a sensor
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

// Owns one open file descriptor.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// Opens `path` without blocking and without making it the controlling
// terminal, and only if it is, when opened, of the kind `wanted` accepts.
template <typename Wanted>
Descriptor openIf(const std::string& path, int flags, Wanted wanted) {
    struct stat seen {};
    // Looked at first, so that a FIFO or a device in the wrong place is never
    // opened at all; opening one can block or do something of its own.
    if (::stat(path.c_str(), &seen) != 0 || !wanted(seen)) return Descriptor(-1);
    Descriptor fd(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    // What was opened may not be what was looked at a moment before.
    if (!fd || ::fstat(fd.get(), &seen) != 0 || !wanted(seen)) return Descriptor(-1);
    return fd;
}

std::size_t pageSize() {
    static const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

// A sysfs attribute is a regular file of at most one page; anything else in
// its place (a FIFO, a device, a directory) is an attribute that cannot be
// read, and of a larger file only the first `limit` bytes are taken.
std::optional<std::string> readAttribute(const std::string& path, std::size_t limit = pageSize()) {
    const Descriptor fd = openIf(path, O_RDONLY, [](const struct stat& s) { return S_ISREG(s.st_mode); });
    if (!fd) return std::nullopt;
    std::string bytes(limit, '\0');
    std::size_t used = 0;
    while (used < bytes.size()) {
        const ssize_t got = ::read(fd.get(), &bytes[used], bytes.size() - used);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    bytes.resize(used);
    return bytes;
}

// sysfs ends each attribute with one line feed.
std::optional<std::string> readLine(const std::string& path) {
    std::optional<std::string> text = readAttribute(path);
    if (text && !text->empty() && text->back() == '\n') text->pop_back();
    return text;
}

// Class entries are links into /sys/devices; the link is resolved before any
// ".." is followed, as the kernel lays the tree out.
std::optional<std::string> resolve(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

// The kernel writes a USB id as `digits` lower-case hexadecimal digits;
// anything else in its place is no id at all.
std::optional<std::string> hexAttribute(const std::string& path, std::size_t digits) {
    std::optional<std::string> text = readLine(path);
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    if (!text || text->size() != digits || !std::all_of(text->begin(), text->end(), hex)) return std::nullopt;
    return text;
}

std::optional<UsbPlace> usbDeviceAt(const std::string& directory, std::optional<std::string> interface) {
    std::optional<std::string> idVendor = hexAttribute(directory + "/idVendor", 4);
    std::optional<std::string> idProduct = hexAttribute(directory + "/idProduct", 4);
    if (!idVendor || !idProduct) return std::nullopt;
    return UsbPlace{directory, std::move(interface), std::move(*idVendor), std::move(*idProduct)};
}

// A UVC node's `device` is usually the interface (.../3-2/3-2:1.0) whose
// parent holds the ids; a driver bound to the whole device links it directly.
std::optional<UsbPlace> findUsbDevice(const std::string& node) {
    const std::optional<std::string> device = resolve(node + "/device");
    if (!device) return std::nullopt;
    if (std::optional<UsbPlace> whole = usbDeviceAt(*device, std::nullopt)) return whole;
    return usbDeviceAt(parentOf(*device), *device);
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
    const std::optional<std::string> interface = hexAttribute(*usb.interface + "/bInterfaceNumber", 2);
    if (!descriptors || !configuration || !interface) return true;
    char* end = nullptr;
    const unsigned long value = std::strtoul(configuration->c_str(), &end, 10);
    if (configuration->empty() || *end != '\0' || value > 255) return true;
    const std::optional<FunctionStrings> strings =
        functionStrings(*descriptors, static_cast<unsigned>(value), static_cast<unsigned>(std::stoul(*interface, nullptr, 16)));
    return !strings || functionNamedByInterface(*strings);
}

// What the driver of a USB node meant to call it, as far as sysfs tells;
// none where the driver named it with a text sysfs does not show.
std::optional<std::string> intendedName(const std::optional<UsbPlace>& usb) {
    if (!usb) return std::nullopt;
    std::optional<std::string> function;
    if (usb->interface) {
        if (!nameTakesInterfaceText(*usb)) return std::nullopt;
        function = readLine(*usb->interface + "/interface");
    }
    return uvcNodeName(readLine(usb->device + "/product"), usb->idVendor, usb->idProduct, function);
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

// The device number in a class entry's `dev` attribute ("81:0").
std::optional<dev_t> deviceNumber(const std::string& entry) {
    const std::optional<std::string> text = readLine(entry + "/dev");
    if (!text) return std::nullopt;
    unsigned majorNumber = 0, minorNumber = 0;
    char after = 0;
    if (std::sscanf(text->c_str(), "%u:%u%c", &majorNumber, &minorNumber, &after) != 2) return std::nullopt;
    return makedev(majorNumber, minorNumber);
}

// The device node of a class entry: /dev/char/<major>:<minor> where udev made
// it, else /dev/<entry name>; only a character device with the entry's own
// number answers for it, so a renamed or stale node never speaks for another.
Descriptor openDeviceNode(const std::string& entry, const std::string& name, const std::string& devRoot) {
    const std::optional<dev_t> number = deviceNumber(entry);
    if (!number) return Descriptor(-1);
    const auto isThisDevice = [&](const struct stat& s) { return S_ISCHR(s.st_mode) && s.st_rdev == *number; };
    const std::string candidates[] = {
        devRoot + "/char/" + std::to_string(major(*number)) + ":" + std::to_string(minor(*number)),
        devRoot + "/" + name,
    };
    for (const std::string& path : candidates) {
        Descriptor fd = openIf(path, O_RDONLY, isThisDevice);
        if (fd) return fd;
    }
    return Descriptor(-1);
}

// A capture node, not an output, memory-to-memory or metadata node. The
// driver says so when its node opens; otherwise the metadata twin of a UVC
// camera gives itself away by an index other than 0.
bool isCaptureNode(const std::string& entry, const std::string& name, const std::string& devRoot,
                   const DeviceQueries& queries) {
    if (const Descriptor fd = openDeviceNode(entry, name, devRoot)) {
        if (const std::optional<std::uint32_t> caps = queries.videoCapabilities(fd.get())) {
            const std::uint32_t capture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
            const std::uint32_t notInput = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_VIDEO_OUTPUT_MPLANE | V4L2_CAP_VIDEO_M2M |
                                           V4L2_CAP_VIDEO_M2M_MPLANE;
            return (*caps & capture) != 0 && (*caps & notInput) == 0;
        }
    }
    const std::optional<std::string> index = readLine(entry + "/index");
    return !index || *index == "0";
}

// The names under `dir` that `wanted` accepts, in node-number order.
template <typename Wanted>
std::vector<std::string> nodeNames(const std::string& dir, Wanted wanted) {
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(dir.c_str())) {
        while (const dirent* item = ::readdir(listing)) {
            if (wanted(std::string(item->d_name))) names.emplace_back(item->d_name);
        }
        ::closedir(listing);
    }
    std::sort(names.begin(), names.end(), byNodeNumber);
    return names;
}

// The graphs of the machine's media devices that can be read whole, each
// read once, with the sysfs directory of each. A media device that cannot be
// opened or read (no permission, gone, a kernel without the media
// controller) has no graph, and its nodes stay as they are.
struct Graphs {
    std::vector<std::string> devices;
    std::vector<MediaTopology> topologies;
};

Graphs readGraphs(const std::string& sysRoot, const std::string& devRoot, const DeviceQueries& queries) {
    Graphs graphs;
    const std::string bus = sysRoot + "/bus/media/devices";
    for (const std::string& name : nodeNames(bus, [](const std::string& n) { return isNodeName(n, "media"); })) {
        const std::string entry = bus + "/" + name;
        const Descriptor fd = openDeviceNode(entry, name, devRoot);
        if (!fd) continue;
        std::optional<MediaTopology> topology = queries.mediaTopology(fd.get());
        std::optional<std::string> device = resolve(entry);
        if (!topology || !device) continue;
        graphs.devices.push_back(std::move(*device));
        graphs.topologies.push_back(std::move(*topology));
    }
    return graphs;
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
    const std::string classDir = sysRoot_ + "/class/video4linux";
    const std::vector<std::string> names = nodeNames(classDir, [&](const std::string& name) {
        return isNodeName(name, "video") && isCaptureNode(classDir + "/" + name, name, devRoot_, queries_);
    });
    if (names.empty()) return kStatusFalse;  // the empty category

    // What the graph rule needs of each node; the graphs are read only where
    // one may speak for some node.
    std::vector<Entry> found;
    std::vector<CaptureNode> nodes;
    bool graphsMatter = false;
    for (const std::string& name : names) {
        const std::string entry = classDir + "/" + name;
        Entry node{resolve(entry), std::nullopt, std::nullopt};
        if (node.node) node.usb = findUsbDevice(*node.node);
        CaptureNode captureNode;
        if (const std::optional<dev_t> number = deviceNumber(entry)) captureNode.number.emplace(major(*number), minor(*number));
        captureNode.onUsb = node.usb.has_value();
        graphsMatter = graphsMatter || graphMaySpeakFor(captureNode);
        found.push_back(std::move(node));
        nodes.push_back(captureNode);
    }
    const Graphs graphs = graphsMatter ? readGraphs(sysRoot_, devRoot_, queries_) : Graphs{};

    auto enumerator = std::make_unique<ClassEnumerator>();
    for (const CameraSlot& slot : camerasOfNodes(nodes, graphs.topologies)) {
        if (!slot.graph) {
            enumerator->entries.push_back(found[slot.node]);
            continue;
        }
        for (const MediaEntity& entity : graphs.topologies[*slot.graph].entities) {
            if (entity.id == slot.sensor) {
                enumerator->entries.push_back(
                    Entry{std::nullopt, std::nullopt, Sensor{graphs.devices[*slot.graph], entity.name}});
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
    moniker = handOut(std::make_unique<Moniker>(Moniker{enumerator.entries[enumerator.next++]}));
    return kStatusOk;
}

Status SysfsRegistry::bindPropertyBag(Handle moniker, Handle& propertyBag) {
    const Entry& entry = from<Moniker>(moniker)->entry;
    if (entry.sensor) {
        propertyBag = handOut(std::make_unique<PropertyBag>(PropertyBag{"", std::nullopt, entry.sensor->name}));
        return kStatusOk;
    }
    if (!entry.node) return kNotFound;  // a dangling class entry
    propertyBag = handOut(std::make_unique<PropertyBag>(PropertyBag{*entry.node, entry.usb, std::nullopt}));
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
    std::string shown = markerFree(*entry.node);
    // Ids only ever come from a USB device's own attributes, as Windows puts
    // them in a USB device's path.
    if (const std::optional<UsbPlace>& usb = entry.usb) {
        const std::string interface = usb->interface ? hexAttribute(*usb->interface + "/bInterfaceNumber", 2).value_or("") : "";
        shown = "usb#vid_" + usb->idVendor + "&pid_" + usb->idProduct + "&mi_" + interface + "#" + shown;
    }
    text = decodeUtf8(shown);
    return kStatusOk;
}

Handle SysfsRegistry::createPropertyValue() { return handOut(std::make_unique<PropertyValue>()); }

Status SysfsRegistry::readProperty(Handle propertyBag, const std::u16string& name, Handle value) {
    const PropertyBag& bag = *from<PropertyBag>(propertyBag);
    std::optional<std::string> text;
    if (bag.sensor) {
        // A sensor has a name and nothing more: it is no USB device.
        if (name == u"FriendlyName") text = sensorModel(wholeNodeName(*bag.sensor, std::nullopt));
    } else if (name == u"FriendlyName") {
        text = readLine(bag.node + "/name");
        // Only a name that fills the kernel's bytes can have been cut.
        if (text && text->size() == kKernelNameBytes) text = wholeNodeName(*text, intendedName(bag.usb));
    } else if (name == u"Description" && bag.usb) {
        text = readLine(bag.usb->device + "/product");
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

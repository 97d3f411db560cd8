// A node's place on the USB, read from sysfs, and its name made whole from
// what that place tells.
#include "discovery/linux/usb_place.h"

#include <cstdlib>

#include "discovery/linux/kernel_name.h"
#include "discovery/linux/sysfs_reading.h"
#include "discovery/linux/usb_descriptors.h"

namespace camera_info {

namespace {

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

// Where a USB device's raw descriptors are read, no more than this is taken:
// the configurations that come first, and the active one is nearly always
// the first, fit many times over.
constexpr std::size_t kDescriptorBytes = std::size_t{64} * 1024;

// Whether the interface's `interface` attribute is the text that uvcvideo
// put in the node's name: the driver prefers the interface association's
// iFunction, whose text sysfs does not show. Where the descriptors cannot be
// read or make no sense, it is taken to be, as it nearly always is.
bool nameTakesInterfaceText(const UsbPlace& usb) {
    const Read<std::string> descriptors = readAttribute(usb.device + "/descriptors", kDescriptorBytes);
    const Read<std::string> configuration = readLine(usb.device + "/bConfigurationValue");
    if (!descriptors || !configuration || !usb.interfaceNumber) return true;
    char* end = nullptr;
    const unsigned long value = std::strtoul(configuration->c_str(), &end, 10);
    if (configuration->empty() || *end != '\0' || value > 255) return true;
    const std::optional<FunctionStrings> strings =
        functionStrings(*descriptors, static_cast<unsigned>(value),
                        static_cast<unsigned>(std::stoul(*usb.interfaceNumber, nullptr, 16)));
    return !strings || functionNamedByInterface(*strings);
}

// What the driver of a USB node meant to call it, as far as sysfs tells;
// none where the driver named it with a text sysfs does not show.
std::optional<std::string> intendedName(VideoNode& node) {
    if (!node.usb || !node.usb->hasIds()) return std::nullopt;
    const UsbPlace& usb = *node.usb;
    std::optional<std::string> function;
    if (usb.interface) {
        if (!nameTakesInterfaceText(usb)) return std::nullopt;
        function = readLine(*usb.interface + "/interface").value();
    }
    return uvcNodeName(productOf(node), *usb.idVendor, *usb.idProduct, function);
}

}  // namespace

std::shared_ptr<const UsbPlace> usbPlaceOf(const std::string& node, const std::string& sys, UsbPlaces& known) {
    const std::optional<std::string> device = deviceOf(node, sys);
    if (!device) return nullptr;
    const auto found = known.find(*device);
    if (found != known.end()) return found->second;
    std::optional<UsbPlace> place = usbPlaceOfDevice(*device);
    return known.emplace(*device, place ? std::make_shared<const UsbPlace>(std::move(*place)) : nullptr).first->second;
}

const std::optional<std::string>& productOf(VideoNode& node) {
    // A node off the USB has no product: a read that found nothing.
    if (!node.product.wasRead())
        node.product = node.usb ? readLine(node.usb->device + "/product") : Read<std::string>::failed(ENOENT);
    return node.product.value();
}

std::optional<std::string> wholeNameOf(VideoNode& node) {
    std::optional<std::string> kept = readLine(node.directory + "/name").value();
    // Only a name that fills the kernel's bytes can have been cut.
    if (kept && kept->size() == kKernelNameBytes) kept = wholeNodeName(*kept, intendedName(node));
    return kept;
}

}  // namespace camera_info

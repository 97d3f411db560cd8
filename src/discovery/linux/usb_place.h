// Where a video node sits on the USB, and its name as its driver meant it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "discovery/linux/sysfs_reading.h"

namespace camera_info {

// The USB device a node belongs to and, for a driver bound to one of its
// functions, that interface; the ids where the device has them as the kernel
// writes them.
struct UsbPlace {
    std::string device;
    std::optional<std::string> interface;
    std::optional<std::string> interfaceNumber;  // bInterfaceNumber
    std::optional<std::string> idVendor;
    std::optional<std::string> idProduct;
    bool hasIds() const { return idVendor && idProduct; }
};

// The places already found, by device directory: the nodes of one device (a
// camera's capture and metadata nodes) share theirs, read once.
using UsbPlaces = std::map<std::string, std::shared_ptr<const UsbPlace>>;

// The USB place of the node whose resolved sysfs directory is `node` (sysfs
// resolved at `sys`), or none where it is not on the USB.
std::shared_ptr<const UsbPlace> usbPlaceOf(const std::string& node, const std::string& sys, UsbPlaces& known);

// A video node: where it is in sysfs and on the USB, and its device's
// product string once read.
struct VideoNode {
    std::string directory;  // resolved
    std::shared_ptr<const UsbPlace> usb;
    Read<std::string> product;  // not read until asked for
};

// The USB product string of the node's device, read once.
const std::optional<std::string>& productOf(VideoNode& node);

// The node's `name`, made whole where the kernel cut it; none where it
// cannot be read.
std::optional<std::string> wholeNameOf(VideoNode& node);

}  // namespace camera_info

// The Linux backend: the kernel's video capture devices, listed.
#pragma once

#include <string>

#include "discovery/linux/kernel_queries.h"
#include "discovery/listed_registry.h"

namespace camera_info {

// The video capture nodes of <sysRoot>/class/video4linux in node-number
// order, with the camera sensors of the media devices' graphs in the place
// of the nodes they feed (see camerasOfNodes); an entry that leads nowhere
// has no device. A USB node's display name carries its ids the way Windows
// writes them (usb#vid_XXXX&pid_XXXX&mi_NN#<sysfs path>), any other's
// nothing that reads as an id; "FriendlyName" is the node's `name`, made
// whole where the kernel cut it, or a sensor's model, and "Description" the
// USB device's `product`. devRoot holds the device nodes: the media devices,
// whose graphs are read, and the video nodes not on USB, which are asked
// what they are. A node on USB is never opened while its camera may sleep,
// nor where its graph tells.
DeviceList listVideoDevices(const std::string& sysRoot, const std::string& devRoot, const DeviceQueries& queries);

}  // namespace camera_info

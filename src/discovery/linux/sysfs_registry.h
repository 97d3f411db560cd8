// The Linux device registry: the kernel's video capture nodes, read through sysfs.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "device_registry.h"
#include "media_graph.h"

// What the registry asks the kernel through an open device node, beside
// sysfs: the kernel's own ioctls (kernelQueries), or a test's stand-in.
struct DeviceQueries {
    // VIDIOC_QUERYCAP: the capabilities of the node itself (its device_caps
    // where the driver gives them), or none where it does not answer.
    std::function<std::optional<std::uint32_t>(int fd)> videoCapabilities;
    // MEDIA_IOC_DEVICE_INFO and MEDIA_IOC_G_TOPOLOGY: a media device's whole
    // graph, read as one, or none where it cannot be.
    std::function<std::optional<MediaTopology>(int fd)> mediaTopology;
};

DeviceQueries kernelQueries();

// Presents the video capture nodes of /sys/class/video4linux as the video
// input category, with the camera sensors of the media devices' graphs in
// the place of the nodes they feed (see camerasOfNodes). A USB node's
// display name carries its ids the way Windows writes them
// (usb#vid_XXXX&pid_XXXX&mi_NN#<sysfs path>), any other's nothing that reads
// as an id; "FriendlyName" is the node's `name`, made whole where the kernel
// cut it, or a sensor's model, and "Description" the USB device's `product`.
// devRoot holds the device nodes: the media devices, whose graphs are read,
// and the video nodes not on USB, which are asked what they are. A node on
// USB is never opened while its camera sleeps, nor where its graph tells.
class SysfsRegistry final : public DeviceRegistry {
public:
    explicit SysfsRegistry(std::string sysRoot = "/sys", std::string devRoot = "/dev",
                           DeviceQueries queries = kernelQueries());

    void initialize() override;
    Status createDeviceEnumerator(Handle& deviceEnumerator) override;
    Status createClassEnumerator(Handle deviceEnumerator, Handle& classEnumerator) override;
    Status nextDevice(Handle classEnumerator, Handle& moniker) override;
    Status bindPropertyBag(Handle moniker, Handle& propertyBag) override;
    Status displayName(Handle moniker, std::optional<std::u16string>& text) override;
    Handle createPropertyValue() override;
    Status readProperty(Handle propertyBag, const std::u16string& name, Handle value) override;
    std::optional<std::u16string> propertyText(Handle value) override;
    void release(HandleKind kind, Handle handle) override;

private:
    std::string sysRoot_;
    std::string devRoot_;
    DeviceQueries queries_;
};

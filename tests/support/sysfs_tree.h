// Builds sysfs-like trees on disk, laid out the way the kernel lays them out:
// class entries are relative links into devices/, nodes link to their device.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace camera_info {

class SysfsTreeBuilder {
public:
    // `sys` stands for /sys; it is created if missing.
    explicit SysfsTreeBuilder(std::filesystem::path sys);

    const std::filesystem::path& sys() const { return sys_; }

    void file(const std::filesystem::path& path, const std::string& content) const;
    // A FIFO in a file's place, as a hostile tree may hold one.
    void fifo(const std::filesystem::path& path) const;

    // A link at `path` to the directory `target` (made if missing), relative
    // as the kernel's are.
    void link(const std::filesystem::path& path, const std::filesystem::path& target) const;
    // A device on the USB, as its `subsystem` link says.
    void onUsb(const std::filesystem::path& device) const;
    // A device's number ("81:0"): its `dev` attribute and the kernel's link
    // from dev/char/<number> to it.
    void number(const std::filesystem::path& device, const std::string& majorMinor) const;

    // A USB device with its ids (and product, if given) under a host controller.
    std::filesystem::path usbDevice(const std::string& port, const std::string& vid, const std::string& pid,
                                    const std::optional<std::string>& product) const;
    // Interface `number` of a USB device, as bound by the UVC driver; with a
    // function name, its `interface` attribute.
    std::filesystem::path usbInterface(const std::filesystem::path& device, const std::string& number,
                                       const std::optional<std::string>& function = std::nullopt) const;
    // A video node under `parent` listed in class/video4linux; `name` is the
    // raw content of its name attribute. No `device` link when linkDevice is false.
    std::filesystem::path node(const std::filesystem::path& parent, const std::string& name,
                               const std::string& friendlyName,
                               const std::optional<std::string>& index = std::string("0"),
                               bool linkDevice = true) const;
    void classEntry(const std::string& name, const std::filesystem::path& target) const;

    // `count` UVC cameras, each with a capture node and its metadata twin
    // (video0/video1, video2/video3, ...), named "USB Camera <i>: USB Camera"
    // with vendor 046d and product <i> in hex. With `attributeBytes`, every
    // attribute that text comes from (name, product, interface; the ids,
    // which are four hex digits or none, stay as they are) is padded to that
    // many bytes, as a doctored tree might be.
    void uvcCameras(int count, std::size_t attributeBytes = 0) const;

private:
    std::filesystem::path sys_;
};

}  // namespace camera_info

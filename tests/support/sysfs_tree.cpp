// sysfs-like trees for tests, benchmarks and the fake-sysfs tool.
#include "support/sysfs_tree.h"

#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace camera_info {

namespace fs = std::filesystem;

SysfsTreeBuilder::SysfsTreeBuilder(fs::path sys) : sys_(std::move(sys)) { fs::create_directories(sys_ / "class"); }

void SysfsTreeBuilder::file(const fs::path& path, const std::string& content) const {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

void SysfsTreeBuilder::fifo(const fs::path& path) const {
    fs::create_directories(path.parent_path());
    fs::remove(path);
    if (::mkfifo(path.c_str(), 0644) != 0) throw std::runtime_error("mkfifo " + path.string());
}

void SysfsTreeBuilder::link(const fs::path& path, const fs::path& target) const {
    fs::create_directories(path.parent_path());
    fs::create_directories(target);
    fs::create_directory_symlink(fs::relative(target, path.parent_path()), path);
}

void SysfsTreeBuilder::onUsb(const fs::path& device) const { link(device / "subsystem", sys_ / "bus/usb"); }

void SysfsTreeBuilder::number(const fs::path& device, const std::string& majorMinor) const {
    file(device / "dev", majorMinor + "\n");
    link(sys_ / "dev/char" / majorMinor, device);
}

fs::path SysfsTreeBuilder::usbDevice(const std::string& port, const std::string& vid, const std::string& pid,
                                     const std::optional<std::string>& product) const {
    fs::path device = sys_ / "devices/pci0000:00/0000:00:14.0/usb3" / port;
    onUsb(device);
    file(device / "idVendor", vid + "\n");
    file(device / "idProduct", pid + "\n");
    if (product) file(device / "product", *product + "\n");
    return device;
}

fs::path SysfsTreeBuilder::usbInterface(const fs::path& device, const std::string& number,
                                        const std::optional<std::string>& function) const {
    fs::path interface = device / (device.filename().string() + ":1." + number);
    onUsb(interface);
    file(interface / "bInterfaceNumber", number + "\n");
    if (function) file(interface / "interface", *function + "\n");
    return interface;
}

fs::path SysfsTreeBuilder::node(const fs::path& parent, const std::string& name, const std::string& friendlyName,
                                const std::optional<std::string>& index, bool linkDevice) const {
    fs::path dir = parent / "video4linux" / name;
    file(dir / "name", friendlyName);
    if (index) file(dir / "index", *index + "\n");
    if (linkDevice) fs::create_directory_symlink(fs::relative(parent, dir), dir / "device");
    classEntry(name, dir);
    return dir;
}

void SysfsTreeBuilder::classEntry(const std::string& name, const fs::path& target) const {
    const fs::path classDir = sys_ / "class/video4linux";
    fs::create_directories(classDir);
    fs::create_directory_symlink(fs::relative(target, classDir), classDir / name);
}

void SysfsTreeBuilder::uvcCameras(int count, std::size_t attributeBytes) const {
    // The text padded with '.' to attributeBytes, its line feed included.
    const auto padded = [attributeBytes](std::string text) {
        if (text.size() + 1 < attributeBytes) text.append(attributeBytes - text.size() - 1, '.');
        return text;
    };
    for (int i = 0; i < count; ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "%04x", i & 0xFFFF);
        const fs::path device =
            usbDevice("3-" + std::to_string(i + 1), "046d", id, padded("Camera " + std::to_string(i)));
        const fs::path interface = usbInterface(device, "00", padded("USB Camera"));
        const std::string name = padded("USB Camera " + std::to_string(i) + ": USB Camera") + "\n";
        node(interface, "video" + std::to_string(2 * i), name, std::string("0"));
        node(interface, "video" + std::to_string(2 * i + 1), name, std::string("1"));
    }
}

}  // namespace camera_info

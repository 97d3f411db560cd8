// The fixtures of the Linux backend's tests: a throw-away /sys and /dev
// (SysfsTree), device nodes that are links to the machine's own character
// devices (DeviceNodes), and media devices among them (MediaDevices).
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "discovery/linux/video_devices.h"
#include "discovery/listed_registry.h"
#include "discovery/video_input_devices.h"
#include "support/fake_kernel.h"
#include "support/on_disk.h"
#include "support/sysfs_tree.h"

namespace camera_info {

class SysfsTree : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        std::filesystem::create_directories(dev());
    }

    std::filesystem::path sys() const { return root() / "sys"; }
    std::filesystem::path dev() const { return root() / "dev"; }

    // Helpers of the builder, under the names the tests read best with.
    void file(const std::filesystem::path& path, const std::string& content) { tree().file(path, content); }
    std::filesystem::path usbDevice(const std::string& port, const std::string& vid, const std::string& pid,
                                    const std::optional<std::string>& product) {
        return tree().usbDevice(port, vid, pid, product);
    }
    std::filesystem::path usbInterface(const std::filesystem::path& device, const std::string& number,
                                       const std::optional<std::string>& function = std::nullopt) {
        return tree().usbInterface(device, number, function);
    }
    std::filesystem::path node(const std::filesystem::path& parent, const std::string& name,
                               const std::string& friendlyName,
                               const std::optional<std::string>& index = std::string("0"), bool linkDevice = true) {
        return tree().node(parent, name, friendlyName, index, linkDevice);
    }
    SysfsTreeBuilder tree() const { return SysfsTreeBuilder(sys()); }

    // What the backend lists of the tree.
    DeviceList listed(const DeviceQueries& queries = kernelQueries()) {
        return listVideoDevices(sys().string(), dev().string(), queries);
    }
    // The records the enumeration rules make of it.
    CameraList list(std::int32_t* count = nullptr) { return listWith(kernelQueries(), count); }
    CameraList listWith(const DeviceQueries& queries, std::int32_t* count = nullptr) {
        ListedRegistry registry([&] { return listed(queries); });
        CameraList cameras;
        const std::int32_t n = listVideoInputDevices(registry, cameras);
        if (count) *count = n;
        EXPECT_EQ(static_cast<std::size_t>(n), cameras.size());
        return cameras;
    }
    // The display name of the device listed as `entry`, or "(not listed)".
    std::u16string displayNameOf(const std::string& entry) {
        for (const std::optional<ListedDevice>& device : listed()) {
            std::u16string shown = device ? device->displayName() : std::u16string();
            if (shown.find(u16(entry)) != std::u16string::npos) return shown;
        }
        return u"(not listed)";
    }

    static std::u16string u16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }
};

class DeviceNodes : public SysfsTree {
protected:
    void SetUp() override {
        SysfsTree::SetUp();
        for (const char* device : {"/dev/null", "/dev/zero", "/dev/full"}) {
            struct stat seen {};
            if (::stat(device, &seen) != 0 || !S_ISCHR(seen.st_mode)) GTEST_SKIP() << device << " is not here";
        }
    }
    // A node whose `dev` says `number`, with index 1 so that it is listed only
    // when a device node answered for it.
    void nodeWithNumber(const std::string& name, const std::string& number) {
        const std::filesystem::path dir = node(sys() / "devices/platform/nodes", name, name + "\n", std::string("1"));
        file(dir / "dev", number + "\n");
    }
    // A link in the test's /dev.
    void link(const std::string& path, const std::string& target) {
        std::filesystem::create_directories((dev() / path).parent_path());
        std::filesystem::create_symlink(target, dev() / path);
    }
    std::vector<std::u16string> namesWith(const DeviceQueries& queries) {
        std::vector<std::u16string> names;
        for (const CameraInfo& camera : listWith(queries)) names.push_back(camera.name);
        return names;
    }
};

class MediaDevices : public DeviceNodes {
protected:
    // A node of a platform device, which is no USB device; its number is
    // 81:<minor>, and nothing in /dev answers for it.
    std::filesystem::path platformNode(const std::string& parent, unsigned minor, const std::string& name) {
        std::filesystem::path dir =
            node(sys() / "devices/platform" / parent, "video" + std::to_string(minor), name + "\n");
        file(dir / "dev", "81:" + std::to_string(minor) + "\n");
        return dir;
    }
    // /sys/bus/media/devices/<name> whose device node is `target`.
    void mediaDevice(const std::string& name, const std::string& number, const std::string& target) {
        const std::filesystem::path dir = sys() / "devices/platform/isys" / name;
        const std::filesystem::path bus = sys() / "bus/media/devices";
        file(dir / "dev", number + "\n");
        std::filesystem::create_directories(bus);
        std::filesystem::create_directory_symlink(std::filesystem::relative(dir, bus), bus / name);
        link("char/" + number, target);
    }
};

}  // namespace camera_info

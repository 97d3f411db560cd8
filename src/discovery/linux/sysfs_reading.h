// Reading sysfs and /dev without disturbing what is read: nothing is opened
// that a look did not approve first and a check of what opened approves
// again, attributes are read only as regular files of at most a page, and
// links are resolved as the kernel resolves them, never by taking ".." off
// a path that may run through a link.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "owners/file_descriptor.h"

namespace camera_info {

// What a read came to: the value, or the errno that explains why there is
// none (ENOENT: nothing stands there; EINVAL: something stands there that is
// not what was asked for; another: what the system answered). An empty
// result that was never read has no errno either, so that a memo tells "not
// read yet" from "read, and none".
template <typename T>
class Read {
public:
    Read() = default;
    Read(T value) : value_(std::move(value)) {}  // NOLINT(google-explicit-constructor): a read that found it
    static Read failed(int error) {
        Read none;
        none.error_ = error;
        return none;
    }

    explicit operator bool() const { return value_.has_value(); }
    const T& operator*() const { return *value_; }
    const T* operator->() const { return &*value_; }
    const std::optional<T>& value() const { return value_; }
    bool wasRead() const { return value_ || error_ != 0; }
    // Nothing at all stands there, as opposed to something that cannot be read.
    bool absent() const { return error_ == ENOENT; }

private:
    std::optional<T> value_;
    int error_ = 0;
};

// A character device as a look at its path saw it.
struct DeviceNode {
    std::string path;
    dev_t number = 0;
};

// The character device at `path`, if that is what stands there.
std::optional<DeviceNode> characterDeviceAt(const std::string& path);
// Opens the device a look approved, read-only, without blocking, and only if
// what opened is that very device.
FileDescriptor openDevice(const DeviceNode& node);

std::size_t pageSize();
// A sysfs attribute is a regular file of at most one page; anything else in
// its place (a FIFO, a device, a directory) is an attribute that cannot be
// read, and of a larger file only the first `limit` bytes are taken.
// A link is followed, and one that leads nowhere is something that cannot
// be read, not nothing.
Read<std::string> readAttribute(const std::string& path, std::size_t limit = pageSize());
// An attribute without the line feed that sysfs ends each with.
Read<std::string> readLine(const std::string& path);
// The kernel writes a USB id as `digits` lower-case hexadecimal digits;
// anything else in its place is no id at all.
std::optional<std::string> hexAttribute(const std::string& path, std::size_t digits);

std::string parentOf(const std::string& path);
std::string baseNameOf(const std::string& path);
// The last step of what the link at `path` points to ("usb" for a USB
// device's `subsystem`), without resolving it.
std::optional<std::string> linkName(const std::string& path);
// The directory at `path` with every link in it resolved.
std::optional<std::string> resolvedDirectory(const std::string& path);
// The names in a directory.
std::vector<std::string> namesIn(const std::string& directory);
// The kernel's nodes named `prefix`<number> in `directory` ("video2",
// "media0"), in node-number order: video2 before video10.
std::vector<std::string> nodeNames(const std::string& directory, const std::string& prefix);

// Where a run reads: the sysfs and /dev roots, and what of them is looked up
// once rather than for every device.
struct KernelPaths {
    std::string sys;                       // sysfs, resolved
    std::string dev;                       // the device nodes' directory
    std::optional<std::string> charLinks;  // <sys>/dev/char, resolved: each device number's link to its device
    bool udevLinks = false;                // whether <dev>/char holds udev's links to the nodes
};
KernelPaths kernelPaths(const std::string& sysRoot, const std::string& devRoot);

// One of the kernel's devices with a device node, as sysfs and /dev tell it.
struct KernelDevice {
    std::optional<std::string> directory;  // its sysfs directory, resolved
    std::optional<dev_t> number;           // its device number
    std::optional<DeviceNode> node;        // the node that answers for it, where one does
};

// The device listed as `name` in the sysfs directory `listing` (a class or
// bus directory, resolved) and named `name` by the kernel in /dev. The
// kernel's link from the number of /dev/<name> to its device says whether
// that node is this device: then one look and one link tell everything.
// Otherwise the entry's link and its `dev` attribute are read, and a node
// answers only with the entry's own number (udev's /dev/char link first),
// so that a renamed or stale node never speaks for another device.
KernelDevice kernelDevice(const KernelPaths& paths, const std::string& listing, const std::string& name);

}  // namespace camera_info

// Reading sysfs and /dev: every system call the registry makes on files lives here.
#include "discovery/linux/sysfs_reading.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace camera_info {

// Inode numbers of 64 bits on every machine, 32-bit ones included (the build
// asks for them there): a look or a listing never fails on a file system
// that gives such numbers.
static_assert(sizeof(ino_t) == 8 && sizeof(dirent::d_ino) == 8, "64-bit inode numbers");

namespace {

constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

// Opens what a look approved, and keeps it only if what opened is of the
// same kind: the path may have been swapped in between. None, with errno
// (EINVAL for another kind), where it is not kept.
template <typename Wanted>
FileDescriptor openApproved(const std::string& path, Wanted wanted) {
    FileDescriptor fd(::open(path.c_str(), kOpenFlags));
    struct stat seen {};
    if (!fd || ::fstat(fd.get(), &seen) != 0) return FileDescriptor();
    if (!wanted(seen)) {
        fd.reset();
        errno = EINVAL;
    }
    return fd;
}

bool isRegular(const struct stat& s) { return S_ISREG(s.st_mode); }

std::optional<std::string> realPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return std::nullopt;
    return std::string(resolved);
}

// What the link at `path` reads, unresolved; none for what is no link.
std::optional<std::string> linkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::nullopt;
    return std::string(target, static_cast<std::size_t>(length));
}

// The link `name` in the resolved directory `directory`, resolved. sysfs
// links read "../../devices/...": their leading ".." are taken off the
// link's own directory, which has no link in it, and what follows descends
// into devices/, where the kernel keeps real directories. A link that reads
// otherwise (or an entry that is no link) is resolved by realpath: one that
// leads into class/ may lead to a link again, or to an old kernel's real
// class directory.
std::optional<std::string> resolveLink(const std::string& directory, const std::string& name) {
    const std::string path = directory + "/" + name;
    std::optional<std::string> target = linkTarget(path);
    if (!target || target->front() == '/') return realPath(path);
    std::string rest = std::move(*target);
    std::string base = directory;
    while (rest.compare(0, 3, "../") == 0) {
        if (base.size() <= 1) return realPath(path);
        base = parentOf(base);
        rest.erase(0, 3);
    }
    if (rest.compare(0, 8, "devices/") != 0) return realPath(path);
    // Any "." or ".." left, or an empty step, is not the kernel's layout.
    for (std::size_t start = 0; start <= rest.size();) {
        const std::size_t end = std::min(rest.find('/', start), rest.size());
        const std::string step = rest.substr(start, end - start);
        if (step.empty() || step == "." || step == "..") return realPath(path);
        start = end + 1;
    }
    return (base == "/" ? "" : base) + "/" + rest;
}

std::optional<dev_t> parseDeviceNumber(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    unsigned majorNumber = 0, minorNumber = 0;
    char after = 0;
    if (std::sscanf(text->c_str(), "%u:%u%c", &majorNumber, &minorNumber, &after) != 2) return std::nullopt;
    return makedev(majorNumber, minorNumber);
}

std::string numberText(dev_t number) { return std::to_string(major(number)) + ":" + std::to_string(minor(number)); }

}  // namespace

std::optional<DeviceNode> characterDeviceAt(const std::string& path) {
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0 || !S_ISCHR(seen.st_mode)) return std::nullopt;
    return DeviceNode{path, seen.st_rdev};
}

FileDescriptor openDevice(const DeviceNode& node) {
    return openApproved(node.path,
                        [&](const struct stat& s) { return S_ISCHR(s.st_mode) && s.st_rdev == node.number; });
}

std::size_t pageSize() {
    static const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : 4096;
}

Read<std::string> readAttribute(const std::string& path, std::size_t limit) {
    // Looked at first, so that a FIFO or a device in an attribute's place is
    // never opened at all: opening one can block or do something of its own.
    struct stat seen {};
    if (::stat(path.c_str(), &seen) != 0) {
        const int error = errno;
        // A link whose target is gone is something there all the same.
        if (error == ENOENT && ::lstat(path.c_str(), &seen) == 0) return Read<std::string>::failed(ELOOP);
        return Read<std::string>::failed(error);
    }
    if (!isRegular(seen)) return Read<std::string>::failed(EINVAL);
    const FileDescriptor fd = openApproved(path, isRegular);
    if (!fd) return Read<std::string>::failed(errno);
    std::string bytes(limit, '\0');
    std::size_t used = 0;
    while (used < bytes.size()) {
        const std::size_t wanted = bytes.size() - used;
        const ssize_t got = ::read(fd.get(), &bytes[used], wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Read<std::string>::failed(errno);
        used += static_cast<std::size_t>(got);
        // A regular file reads short only at its end, and sysfs gives an
        // attribute whole in one read: no second read to learn of the end.
        if (static_cast<std::size_t>(got) < wanted) break;
    }
    bytes.resize(used);
    bytes.shrink_to_fit();  // a short attribute keeps no page
    return bytes;
}

Read<std::string> readLine(const std::string& path) {
    Read<std::string> text = readAttribute(path);
    if (!text || text->empty() || text->back() != '\n') return text;
    return text->substr(0, text->size() - 1);
}

std::optional<std::string> hexAttribute(const std::string& path, std::size_t digits) {
    const Read<std::string> text = readLine(path);
    const auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); };
    if (!text || text->size() != digits || !std::all_of(text->begin(), text->end(), hex)) return std::nullopt;
    return *text;
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? std::string("/") : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::optional<std::string> linkName(const std::string& path) {
    const std::optional<std::string> target = linkTarget(path);
    if (!target) return std::nullopt;
    return baseNameOf(*target);
}

std::optional<std::string> resolvedDirectory(const std::string& path) { return realPath(path); }

namespace {

struct DirectoryListingTraits {
    using Value = DIR*;
    static constexpr Value none() { return nullptr; }
    static void close(Value listing) { (void)::closedir(listing); }
};

}  // namespace

std::vector<std::string> namesIn(const std::string& directory) {
    std::vector<std::string> names;
    const UniqueResource<DirectoryListingTraits> listing(::opendir(directory.c_str()));
    if (listing) {
        while (const dirent* item = ::readdir(listing.get())) names.emplace_back(item->d_name);
    }
    return names;
}

namespace {

// "video" or "media" followed by a number, as the kernel names its nodes.
bool isNodeName(const std::string& name, const std::string& prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    return name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// video2 before video10, without parsing numbers that may not fit.
bool byNodeNumber(const std::string& a, const std::string& b, std::size_t prefix) {
    auto digits = [prefix](const std::string& name) {
        std::string number = name.substr(prefix);
        number.erase(0, std::min(number.find_first_not_of('0'), number.size()));
        return number;
    };
    const std::string da = digits(a);
    const std::string db = digits(b);
    if (da.size() != db.size()) return da.size() < db.size();
    if (da != db) return da < db;
    return a < b;
}

}  // namespace

std::vector<std::string> nodeNames(const std::string& directory, const std::string& prefix) {
    std::vector<std::string> names = namesIn(directory);
    names.erase(
        std::remove_if(names.begin(), names.end(), [&](const std::string& n) { return !isNodeName(n, prefix); }),
        names.end());
    std::sort(names.begin(), names.end(),
              [&](const std::string& a, const std::string& b) { return byNodeNumber(a, b, prefix.size()); });
    return names;
}

KernelPaths kernelPaths(const std::string& sysRoot, const std::string& devRoot) {
    KernelPaths paths;
    paths.sys = realPath(sysRoot).value_or(sysRoot);
    paths.dev = devRoot;
    paths.charLinks = realPath(paths.sys + "/dev/char");
    struct stat seen {};
    paths.udevLinks = ::stat((devRoot + "/char").c_str(), &seen) == 0 && S_ISDIR(seen.st_mode);
    return paths;
}

KernelDevice kernelDevice(const KernelPaths& paths, const std::string& listing, const std::string& name) {
    KernelDevice device;
    std::optional<DeviceNode> named = characterDeviceAt(paths.dev + "/" + name);
    if (named && paths.charLinks) {
        // The kernel's link from this number names the device it belongs to.
        std::optional<std::string> owner = resolveLink(*paths.charLinks, numberText(named->number));
        if (owner && baseNameOf(*owner) == name) {
            device.directory = std::move(owner);
            device.number = named->number;
            device.node = std::move(named);
            return device;
        }
    }
    device.directory = resolveLink(listing, name);
    if (device.directory) device.number = parseDeviceNumber(readLine(*device.directory + "/dev").value());
    if (!device.number) return device;
    if (paths.udevLinks) {
        std::optional<DeviceNode> linked = characterDeviceAt(paths.dev + "/char/" + numberText(*device.number));
        if (linked && linked->number == *device.number) {
            device.node = std::move(linked);
            return device;
        }
    }
    if (named && named->number == *device.number) device.node = std::move(named);
    return device;
}

}  // namespace camera_info

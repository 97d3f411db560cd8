// The kernel's ioctls answered by device number.
#include "support/fake_kernel.h"

#include <sys/stat.h>

namespace camera_info {

namespace {

// The number of the character device `fd` is open on, if it is one.
std::optional<dev_t> deviceOf(int fd) {
    struct stat seen {};
    if (::fstat(fd, &seen) != 0 || !S_ISCHR(seen.st_mode)) return std::nullopt;
    return seen.st_rdev;
}

}  // namespace

DeviceQueries FakeKernel::queries() {
    return DeviceQueries{[this](int fd) -> std::optional<std::uint32_t> {
                             const std::optional<dev_t> number = deviceOf(fd);
                             if (!number) return std::nullopt;
                             asked_.push_back(*number);
                             const auto found = capabilities_.find(*number);
                             if (found != capabilities_.end()) return found->second;
                             return anyCapabilities_;
                         },
                         [this](int fd) -> std::optional<MediaTopology> {
                             ++graphReads_;
                             const std::optional<dev_t> number = deviceOf(fd);
                             if (!number) return std::nullopt;
                             const auto found = graphs_.find(*number);
                             if (found == graphs_.end()) return std::nullopt;
                             return found->second;
                         }};
}

}  // namespace camera_info

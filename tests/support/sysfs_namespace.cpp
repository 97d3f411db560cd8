// Private mount namespaces for whole-program runs over built sysfs trees.
#include "support/sysfs_namespace.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace camera_info {

namespace {

std::string failure(const std::string& step) { return step + ": " + std::strerror(errno); }

bool writeFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

}  // namespace

std::string enterPrivateMounts() {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (uid == 0) {
        if (::unshare(CLONE_NEWNS) != 0) return failure("a mount namespace");
    } else {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return failure("a user and mount namespace");
        if (!writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return failure("mapping the user into its namespace");
        }
    }
    // Nothing mounted here may reach the machine's own mounts. In a chroot /
    // is no mount point; a /sys mounted into it still shields its own.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 &&
        ::mount(nullptr, "/sys", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return failure("making / or /sys private (neither is a mount point here)");
    }
    return {};
}

std::string enterFakeSysfs(const std::string& sysDir) {
    std::string why = enterPrivateMounts();
    if (!why.empty()) return why;
    if (::mount(sysDir.c_str(), "/sys", nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return failure("mounting the tree over /sys");
    }
    return {};
}

std::string fakeSysfsRefusal() {
    // The probe mounts an empty directory in a child, which then ends.
    char dir[] = "/tmp/camera-probe-XXXXXX";
    if (::mkdtemp(dir) == nullptr) return failure("a temporary directory");
    int channel[2];
    if (::pipe(channel) != 0) return failure("a pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const std::string why = enterFakeSysfs(dir);
        (void)!::write(channel[1], why.data(), why.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string why;
    char buffer[256];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        why.append(buffer, static_cast<std::size_t>(got));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::rmdir(dir);
    return why;
}

}  // namespace camera_info

// The report file's steps where files have no share modes and FIFOs live in
// the file system.
#include "report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <vector>

namespace {

// A stdio stream over `fd` for binary output, or null (the descriptor closed).
std::FILE* streamOf(int fd) {
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return file;
}

// Opens an existing `path` of the kind `wanted` accepts for writing, without
// following a link and without waiting; writes then wait as writes do.
template <typename Wanted>
int openExisting(const char* path, int flags, Wanted wanted) {
    const int fd = ::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | flags);
    if (fd < 0) return -1;
    struct stat seen {};
    const int status = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &seen) != 0 || !wanted(seen) || status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool isReportStream(const char* path) {
    struct stat seen {};
    return ::lstat(path, &seen) == 0 && S_ISFIFO(seen.st_mode);
}

std::FILE* openReportStream(const char* path) {
    // Opened without blocking, a FIFO with nobody reading it fails at once
    // (ENXIO) instead of holding the run for ever; what stands there is
    // checked again once open, as it may have changed since it was looked at.
    const int fd = openExisting(path, 0, [](const struct stat& s) { return S_ISFIFO(s.st_mode); });
    if (fd < 0) return nullptr;
    // A reader that goes away early makes the write fail, silently like any
    // other failure, instead of ending the process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    return streamOf(fd);
}

const char kPathSeparators[] = "/";

std::FILE* createReportSibling(const std::string& prefix, std::string& created) {
    const std::string name = prefix + "XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    // mkostemp creates with O_EXCL: a name something stands under, a link
    // included, is never used.
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) return nullptr;
    created.assign(buffer.data());
    // The report is readable as any new file of this user is (0666 less the
    // umask), not private as a temporary file is made.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0) {
        ::close(fd);
        ::unlink(created.c_str());
        return nullptr;
    }
    return streamOf(fd);
}

bool replaceReportFile(const std::string& from, const char* to) { return ::rename(from.c_str(), to) == 0; }

void removeReportFile(const char* path) { (void)::unlink(path); }

std::FILE* openReportInPlace(const char* path) {
    return streamOf(openExisting(path, O_TRUNC, [](const struct stat& s) { return S_ISREG(s.st_mode); }));
}

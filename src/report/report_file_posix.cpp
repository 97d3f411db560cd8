// The report file's steps where files have no share modes and FIFOs live in
// the file system.
#include "report_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>

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

namespace {

// Six letters and digits that no other run picks: the kernel's random bytes,
// or where it has none to give, the clock's.
std::string uniqueEnding() {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned char random[6] = {};
    if (::getrandom(random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        timespec now {};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        std::uint64_t seed = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
        for (unsigned char& byte : random) {
            seed = seed * 6364136223846793005u + 1442695040888963407u;
            byte = static_cast<unsigned char>(seed >> 56);
        }
    }
    std::string ending;
    for (const unsigned char byte : random) ending += kLetters[byte % (sizeof kLetters - 1)];
    return ending;
}

}  // namespace

std::FILE* createReportSibling(const std::string& prefix, std::string& created) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = prefix + uniqueEnding();
        // Made as any new file is: the umask, or the directory's default ACL,
        // decides who may read it, and no chmod is needed (which a file
        // system showing every file as one owner refuses). O_EXCL: a name
        // something stands under, a link included, is never used.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            created = name;
            return streamOf(fd);
        }
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

void takeOverReportPermissions(const char* path, std::FILE* replacement) {
    struct stat old {};
    if (::lstat(path, &old) != 0 || !S_ISREG(old.st_mode)) return;
    const int fd = ::fileno(replacement);
    // Only root may give a file to another owner; failures are the file
    // system's to decide, and keep the file as it was made.
    if (::geteuid() == 0) (void)::fchown(fd, old.st_uid, old.st_gid);
    (void)::fchmod(fd, old.st_mode & 0777);
}

bool replaceReportFile(const std::string& from, const char* to) { return ::rename(from.c_str(), to) == 0; }

void removeReportFile(const char* path) { (void)::unlink(path); }

std::FILE* openReportInPlace(const char* path) {
    return streamOf(openExisting(path, 0, [](const struct stat& s) { return S_ISREG(s.st_mode); }));
}

ReportRoom reserveReportRoom(std::FILE* file, std::uint64_t size) {
    // A file size limit is checked as it stands, the disk and any quota by
    // reserving the blocks without changing the file's size. exFAT, NFS
    // before 4.2 and some FUSE file systems cannot reserve.
    rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur)
        return ReportRoom::None;
    if (::fallocate(::fileno(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return ReportRoom::Reserved;
    return errno == EOPNOTSUPP || errno == ENOSYS ? ReportRoom::Unknown : ReportRoom::None;
}

std::optional<std::uint64_t> freeSpaceAt(const char* path) {
    struct statvfs space {};
    if (::statvfs(path, &space) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
}

bool closeReportInPlace(std::FILE* file) {
    // What is left of a longer old report is cut off where the new one ends.
    bool done = std::fflush(file) == 0;
    const off_t end = ::ftello(file);
    done = done && end >= 0 && ::ftruncate(::fileno(file), end) == 0;
    return std::fclose(file) == 0 && done;
}

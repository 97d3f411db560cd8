// The report file's steps on Linux: files have no share modes, FIFOs live in
// the file system, and a new file can be made without a name (O_TMPFILE).
#include "report/report_file_steps.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>
#include <utility>

#include "owners/file_descriptor.h"

namespace camera_info {

// Sizes, inode numbers and limits of 64 bits on every machine, 32-bit ones
// included (the build asks for them there).
static_assert(sizeof(off_t) == 8 && sizeof(ino_t) == 8 && sizeof(rlim_t) == 8 && sizeof(fsblkcnt_t) == 8,
              "64-bit file offsets, inode numbers and limits");

namespace {

// A stdio stream over `fd` for binary output, or none (the descriptor closed).
ReportStream streamOf(FileDescriptor fd) {
    if (!fd) return ReportStream();
    // A write beyond the caller's file size limit fails (EFBIG) like any
    // other, and leaves nothing behind, instead of ending the process with
    // SIGXFSZ and its half-made file with it.
    std::signal(SIGXFSZ, SIG_IGN);
    std::FILE* file = ::fdopen(fd.get(), "wb");
    if (file != nullptr) static_cast<void>(fd.release());  // the stream's now
    return ReportStream(file);
}

// Opens an existing `path` of the kind `wanted` accepts for writing, without
// following a link and without waiting; writes then wait as writes do.
template <typename Wanted>
FileDescriptor openExisting(const char* path, Wanted wanted) {
    FileDescriptor fd(::open(path, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) return fd;
    struct stat seen {};
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (::fstat(fd.get(), &seen) != 0 || !wanted(seen) || status < 0 ||
        ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) {
        return FileDescriptor();
    }
    return fd;
}

}  // namespace

bool isReportStream(const char* path) {
    struct stat seen {};
    return ::lstat(path, &seen) == 0 && S_ISFIFO(seen.st_mode);
}

ReportStream openReportStream(const char* path) {
    // Opened without blocking, a FIFO with nobody reading it fails at once
    // (ENXIO) instead of holding the run for ever; what stands there is
    // checked again once open, as it may have changed since it was looked at.
    FileDescriptor fd = openExisting(path, [](const struct stat& s) { return S_ISFIFO(s.st_mode); });
    if (!fd) return ReportStream();
    // A reader that goes away early makes the write fail, silently like any
    // other failure, instead of ending the process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    return streamOf(std::move(fd));
}

const char kPathSeparators[] = "/";

// The kernel's random bytes, or where it has none to give, the clock's.
void freshNameRandomness(unsigned char* bytes, std::size_t count) {
    if (::getrandom(bytes, count, GRND_NONBLOCK) == static_cast<ssize_t>(count)) return;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t seed = static_cast<std::uint64_t>(now.tv_nsec) ^ (static_cast<std::uint64_t>(::getpid()) << 32);
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 6364136223846793005u + 1442695040888963407u;
        bytes[i] = static_cast<unsigned char>(seed >> 56);
    }
}

namespace {

// What a call that sets errno came to, for underFreshName.
NameAttempt attempted(bool made) {
    if (made) return NameAttempt::Made;
    return errno == EEXIST ? NameAttempt::Taken : NameAttempt::Failed;
}

// A new file `prefix` and six letters that nothing stood under (created
// exclusively, never through a link), with its name in `created`.
FileDescriptor createNamed(const std::string& prefix, std::string& created, mode_t mode) {
    FileDescriptor fd;
    (void)underFreshName(prefix, created, [&](const std::string& name) {
        fd.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        return attempted(static_cast<bool>(fd));
    });
    return fd;
}

// A name for the nameless file `fd`: by the file itself where the kernel
// lets this process (a privilege, or on newer kernels the file's own
// opener), else through /proc. False, with errno, where neither can.
bool link(int fd, const std::string& name) {
    if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno == EEXIST) return false;
    return ::linkat(AT_FDCWD, ("/proc/self/fd/" + std::to_string(fd)).c_str(), AT_FDCWD, name.c_str(),
                    AT_SYMLINK_FOLLOW) == 0;
}

// Where no link can be made (a root without /proc), the whole nameless file
// is copied to a named one with the same bits: that copy, still open.
FileDescriptor copyToNamed(int from, const std::string& prefix, std::string& created) {
    struct stat made {};
    if (::fstat(from, &made) != 0) return FileDescriptor();
    std::string name;
    FileDescriptor to = createNamed(prefix, name, made.st_mode & 0777);
    if (!to) return to;
    bool copied = ::fchmod(to.get(), made.st_mode & 0777) == 0 || errno == EPERM;
    off_t offset = 0;
    while (copied && offset < made.st_size) {
        const ssize_t sent = ::sendfile(to.get(), from, &offset, static_cast<std::size_t>(made.st_size - offset));
        copied = sent > 0 || (sent < 0 && errno == EINTR);
    }
    if (!copied) {
        to.reset();
        (void)::unlink(name.c_str());
        return FileDescriptor();
    }
    created = name;
    return to;
}

}  // namespace

ReportStream createReportSibling(const std::string& prefix, std::string& created) {
    // Made as any new file is: the umask, or the directory's default ACL,
    // decides who may read it, and no chmod is needed (which a file system
    // showing every file as one owner refuses).
    const std::size_t slash = prefix.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : prefix.substr(0, slash + 1);
    // An append-only directory (chattr +a) lets names be made but never
    // replaced or removed: the new report could not be put in place, nor
    // taken away again. A look at the directory's flags tells beforehand.
    struct statx flags {};
    if (::statx(AT_FDCWD, directory.c_str(), 0, 0, &flags) == 0 && (flags.stx_attributes & STATX_ATTR_APPEND) != 0)
        return ReportStream();
    // Readable too, so that where no link can be made it can be copied.
    FileDescriptor nameless(::open(directory.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0666));
    if (nameless) {
        created.clear();
        return streamOf(std::move(nameless));
    }
    // A file system that cannot make a nameless file makes a named one.
    return streamOf(createNamed(prefix, created, 0666));
}

bool nameReportSibling(ReportStream& file, const std::string& prefix, std::string& created) {
    if (!created.empty()) return true;
    const int fd = ::fileno(file.get());
    // A link never replaces what stands under its name.
    if (underFreshName(prefix, created, [fd](const std::string& name) { return attempted(link(fd, name)); }))
        return true;
    if (errno != ENOENT) return false;
    // The copy takes the nameless file's place; whether its bytes reached
    // the disk is told when it is closed.
    FileDescriptor copy = copyToNamed(fd, prefix, created);
    if (!copy) return false;
    file = streamOf(std::move(copy));
    return static_cast<bool>(file);
}

namespace {

// The regular file under `path`, as a look shows it.
bool regularFileAt(const char* path, struct stat& seen) { return ::lstat(path, &seen) == 0 && S_ISREG(seen.st_mode); }

}  // namespace

void takeOverReportMode(const char* path, ReportStream& replacement) {
    struct stat old {};
    if (regularFileAt(path, old)) (void)::fchmod(::fileno(replacement.get()), old.st_mode & 0777);
}

void takeOverReportOwner(const char* path, ReportStream& replacement) {
    // Only root may give a file to another owner; failures are the file
    // system's to decide, and keep the file as it was made.
    struct stat old {};
    if (::geteuid() == 0 && regularFileAt(path, old))
        (void)::fchown(::fileno(replacement.get()), old.st_uid, old.st_gid);
}

bool replaceReportFile(const std::string& from, const char* to) { return ::rename(from.c_str(), to) == 0; }

void removeReportFile(const char* path) { (void)::unlink(path); }

ReportStream openReportInPlace(const char* path) {
    // A file with another name too (`ln CameraInfo.txt archive/monday.txt`)
    // would change under that name as well: it is left as it is.
    return streamOf(openExisting(path, [](const struct stat& s) { return S_ISREG(s.st_mode) && s.st_nlink == 1; }));
}

ReportHold holdReportInPlace(ReportStream& file, std::uint64_t& size) {
    // A lock of the open file itself (open file description locks), which
    // only other runs ask for; closing the file lets it go.
    const int fd = ::fileno(file.get());
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) != 0)
        return errno == EAGAIN || errno == EACCES ? ReportHold::Busy : ReportHold::Refused;
    struct stat seen {};
    if (::fstat(fd, &seen) != 0) return ReportHold::Refused;
    size = static_cast<std::uint64_t>(seen.st_size);
    return ReportHold::Held;
}

ReportRoom reserveReportRoom(ReportStream& file, std::uint64_t size) {
    // A file size limit is checked as it stands, the disk and any quota by
    // reserving the blocks without changing the file's size. exFAT, NFS
    // before 4.2 and some FUSE file systems cannot reserve.
    rlimit limit{};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur)
        return ReportRoom::None;
    if (::fallocate(::fileno(file.get()), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0)
        return ReportRoom::Reserved;
    return errno == EOPNOTSUPP || errno == ENOSYS ? ReportRoom::Unknown : ReportRoom::None;
}

std::optional<std::uint64_t> freeSpaceAt(const char* path) {
    struct statvfs space {};
    if (::statvfs(path, &space) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
}

bool writeReportAtStart(ReportStream& file, const std::string& text) {
    return ::pwrite(::fileno(file.get()), text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

bool closeReportInPlace(ReportStream file, std::uint64_t length) {
    // What is left of a longer old report (blanks by now) is cut off where
    // the new one ends.
    const bool done = ::ftruncate(::fileno(file.get()), static_cast<off_t>(length)) == 0;
    return file.close() && done;
}

}  // namespace camera_info

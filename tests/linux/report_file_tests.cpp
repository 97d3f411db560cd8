// The report file in its place: whatever stands under the name is replaced,
// never followed; readers and runs at the same time only ever see whole
// reports; a report that cannot be completed leaves none; a directory closed
// to writing gets it in place; a FIFO gets it as a stream, or nothing and no
// wait without a reader.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "report/camera_report.h"
#include "report/report_file.h"
#include "report/styled_text.h"
#include "support/no_hang.h"
#include "support/on_disk.h"
#include "support/program_run.h"
#include "support/sysfs_namespace.h"

namespace camera_info {

namespace fs = std::filesystem;

namespace {

// The system call at which the run is stopped, as a kill at that very moment
// would stop it; none while empty.
std::string killedAt;
// Whether every link fails as where neither a privilege nor /proc helps.
bool linksRefused = false;
// Whether a nameless file cannot be linked by itself, as before Linux 6.10
// without CAP_DAC_READ_SEARCH.
bool emptyPathRefused = false;
// Whether a write at a given place fails as a failing disk's does.
bool writesFail = false;
// Whether the cut waits a while first, as a run slowed at that moment.
bool slowCut = false;

void killHereIf(const char* call) {
    if (killedAt == call) ::raise(SIGKILL);
}

}  // namespace

}  // namespace camera_info

// This executable's own ftruncate, linkat and pwrite, the report's included,
// come here. At the global scope, where the C library declared them: where
// off_t is made 64 bits wide on a 32-bit machine, their declarations there
// name the symbols (ftruncate64, pwrite64) that definitions in a namespace
// would not.
using camera_info::emptyPathRefused, camera_info::killHereIf, camera_info::linksRefused, camera_info::slowCut,
    camera_info::writesFail;

extern "C" int ftruncate(int fd, off_t length) noexcept {
    killHereIf("ftruncate");
    if (slowCut) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return static_cast<int>(::syscall(SYS_ftruncate, fd, length));
}

extern "C" int linkat(int fromDirectory, const char* from, int toDirectory, const char* to, int flags) noexcept {
    killHereIf("linkat");
    if (linksRefused || (emptyPathRefused && (flags & AT_EMPTY_PATH) != 0)) {
        errno = ENOENT;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_linkat, fromDirectory, from, toDirectory, to, flags));
}

// Declared by glibc without noexcept: a cancellation point.
extern "C" ssize_t pwrite(int fd, const void* bytes, std::size_t size, off_t offset) {
    killHereIf("pwrite");
    if (writesFail) {
        errno = EIO;
        return -1;
    }
    // A seek and a write: a 64-bit offset goes to the kernel in a way of
    // each machine's own, which these two calls spare the test.
    if (::lseek(fd, offset, SEEK_SET) != offset) return -1;
    return static_cast<ssize_t>(::syscall(SYS_write, fd, bytes, size));
}

namespace camera_info {

namespace {

// More than a pipe holds, so that a writer to a FIFO must wait for its reader.
Json::Value bigReport(char16_t letter = u'A') {
    CameraList cameras(20000, CameraInfo{std::u16string(1, letter) + u" camera with a name", u"046d", u"0825"});
    return buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
}

Json::Value manyCameras(std::size_t count, const char16_t* name) {
    const CameraList cameras(count, CameraInfo{name, u"046d", u"0825"});
    return buildCameraReport(cameras, static_cast<std::int32_t>(cameras.size()));
}

Json::Value smallReport() {
    const CameraList cameras = {{u"Integrated Camera", u"0bda", u"58f4"}, {u"vivid", u"", u""}};
    return buildCameraReport(cameras, 2);
}

void write(const fs::path& path, const std::string& text, fs::perms perms = fs::perms(0644)) {
    std::ofstream(path, std::ios::binary) << text;
    fs::permissions(path, perms);
}

std::vector<std::string> names(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir)) found.push_back(entry.path().filename().string());
    return found;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

class ReportPlace : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        fs::create_directories(dir());
        fs::create_directories(outside());
    }

public:
    fs::path dir() const { return root() / "work"; }
    fs::path outside() const { return root() / "elsewhere"; }
    fs::path report() const { return dir() / "CameraInfo.txt"; }
};

TEST_F(ReportPlace, WhateverStandsUnderTheNameIsReplacedNeverFollowed) {
    const Json::Value document = smallReport();
    const std::string text = toStyledText(document);
    const fs::perms made = fs::perms(0666 & ~currentUmask());
    const struct Case {
        const char* what;
        std::function<void(const ReportPlace&)> before;
        bool written;
        std::function<void(const ReportPlace&)> after;
        fs::perms mode;  // of the report written: as any new file's, or the old report's
    } cases[] = {
        {"nothing", [](const ReportPlace&) {}, true, nullptr, made},
        {"a longer report", [](const ReportPlace& t) { write(t.report(), std::string(10000, '#'), fs::perms(0640)); },
         true, nullptr, fs::perms(0640)},
        {"a read-only file", [](const ReportPlace& t) { write(t.report(), "old", fs::perms(0444)); }, true, nullptr,
         fs::perms(0444)},
        {"a link to a file elsewhere",
         [](const ReportPlace& t) {
             write(t.outside() / "precious", "precious");
             fs::create_symlink(t.outside() / "precious", t.report());
         },
         true, [](const ReportPlace& t) { EXPECT_EQ(slurp(t.outside() / "precious"), "precious"); }, made},
        {"a dangling link", [](const ReportPlace& t) { fs::create_symlink(t.outside() / "created", t.report()); }, true,
         [](const ReportPlace& t) { EXPECT_FALSE(fs::exists(fs::symlink_status(t.outside() / "created"))); }, made},
        {"a link to a FIFO",
         [](const ReportPlace& t) {
             ASSERT_EQ(::mkfifo((t.outside() / "fifo").c_str(), 0644), 0);
             fs::create_symlink(t.outside() / "fifo", t.report());
         },
         true, [](const ReportPlace& t) { EXPECT_TRUE(fs::is_fifo(t.outside() / "fifo")); }, made},
        {"a directory", [](const ReportPlace& t) { fs::create_directory(t.report()); }, false,
         [](const ReportPlace& t) { EXPECT_TRUE(fs::is_directory(t.report())); }, made},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir());
        fs::remove_all(outside());
        fs::create_directories(dir());
        fs::create_directories(outside());
        c.before(*this);
        EXPECT_EQ(writeReportFile(report().c_str(), document), c.written);
        EXPECT_EQ(names(dir()), std::vector<std::string>{"CameraInfo.txt"}) << "nothing else is left beside it";
        if (c.written) {
            const fs::file_status status = fs::symlink_status(report());
            EXPECT_EQ(status.type(), fs::file_type::regular);
            EXPECT_EQ(status.permissions(), c.mode);
            // Read only what is a file: a link left to a FIFO would hold the test.
            if (status.type() == fs::file_type::regular) {
                EXPECT_EQ(slurp(report()), text);
            }
        }
        if (c.after) c.after(*this);
    }
}

TEST_F(ReportPlace, RunsAtTheSameTimeLeaveOneWholeReportAndReadersNeverSeeAMix) {
    const Json::Value a = bigReport(u'A'), b = bigReport(u'B');
    const std::string textA = toStyledText(a), textB = toStyledText(b);
    std::vector<pid_t> runs;
    for (const Json::Value* document : {&a, &b}) {
        const pid_t run = ::fork();
        if (run == 0) {
            for (int i = 0; i < 15; ++i) writeReportFile(report().c_str(), *document);
            ::_exit(0);
        }
        ASSERT_GT(run, 0);
        runs.push_back(run);
    }
    int reads = 0, mixed = 0;
    for (bool running = true; running;) {
        running = false;
        for (const pid_t run : runs) running = running || ::waitpid(run, nullptr, WNOHANG) == 0;
        const std::string seen = slurp(report());
        ++reads;
        if (!seen.empty() && seen != textA && seen != textB) ++mixed;
    }
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
    const std::string last = slurp(report());
    EXPECT_TRUE(last == textA || last == textB);
    EXPECT_EQ(names(dir()), std::vector<std::string>{"CameraInfo.txt"});
}

TEST_F(ReportPlace, AReportThatCannotBeCompletedLeavesNone) {
    // A small file system of its own stands for a full disk: the old report
    // fits, the new one does not.
    const std::map<int, std::string> outcomes = {
        {1, "the old report could not be written"},
        {2, "a report that did not fit counted as written"},
        {3, "a report is left behind"},
        {4, "something else is left behind"},
    };
    const std::string refusal = fakeSysfsRefusal();
    if (!refusal.empty())
        GTEST_SKIP() << "a small file system of the test's own needs a private mount namespace: " << refusal;
    const int result = runInChild([&] {
        if (!enterPrivateMounts().empty()) return 77;
        if (::mount("tmpfs", dir().c_str(), "tmpfs", 0, "size=64k") != 0) return 78;
        if (!writeReportFile(report().c_str(), smallReport())) return 1;
        if (writeReportFile(report().c_str(), bigReport())) return 2;
        if (fs::exists(fs::symlink_status(report()))) return 3;
        if (!names(dir()).empty()) return 4;
        return 0;
    });
    if (result == 77 || result == 78) GTEST_SKIP() << "no file system of the test's own can be mounted here";
    EXPECT_EQ(result, 0) << (outcomes.count(result) ? outcomes.at(result)
                                                    : "the check ended with " + std::to_string(result));
}

TEST_F(ReportPlace, ADirectoryClosedToWritingGetsTheReportInPlaceNeverThroughALink) {
    const Json::Value document = smallReport();
    write(report(), std::string(3000, '#'), fs::perms(0666));
    const fs::path linked = root() / "linked";
    fs::create_directories(linked);
    write(outside() / "precious", "precious", fs::perms(0666));
    fs::create_symlink(outside() / "precious", linked / "CameraInfo.txt");
    struct stat before {};
    ASSERT_EQ(::stat(report().c_str(), &before), 0);
    // Root may write anywhere: the run goes as nobody, who may only write the files.
    fs::permissions(root(), fs::perms(0755));
    fs::permissions(outside(), fs::perms(0755));
    for (const fs::path& closed : {dir(), linked}) fs::permissions(closed, fs::perms(0555));
    const int result = runInChild([&] {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
                                 ::setresuid(65534, 65534, 65534) != 0)) {
            return 77;
        }
        if (::access(dir().c_str(), X_OK) != 0) return 78;
        if (!writeReportFile(report().c_str(), document)) return 1;
        if (writeReportFile((linked / "CameraInfo.txt").c_str(), document)) return 2;
        return 0;
    });
    for (const fs::path& closed : {dir(), linked}) fs::permissions(closed, fs::perms(0755));
    if (result == 77 || result == 78) GTEST_SKIP() << "nobody cannot reach the test's directory here";
    EXPECT_EQ(result, 0) << (result == 1 ? "the writable file was not written" : "a link was written through");
    struct stat after {};
    ASSERT_EQ(::stat(report().c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "written in place";
    EXPECT_EQ(slurp(report()), toStyledText(document));
    EXPECT_EQ(slurp(outside() / "precious"), "precious");
    EXPECT_TRUE(fs::is_symlink(linked / "CameraInfo.txt"));
}

// The default ACL u::rwx,g::rwx,m::rwx,o::--- as the kernel keeps it
// (system.posix_acl_default: a version, then tag, permissions and id each).
std::string aclGivingOthersNothing() {
    std::string acl;
    const auto put = [&acl](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) acl += static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    put(2, 4);
    for (const auto& [tag, permissions] : {std::pair{0x01, 7}, {0x04, 7}, {0x10, 7}, {0x20, 0}}) {
        put(static_cast<std::uint32_t>(tag), 2);
        put(static_cast<std::uint32_t>(permissions), 2);
        put(0xFFFFFFFFu, 4);
    }
    return acl;
}

// Root's effective capabilities less `dropped` (CAP_ numbers); the permitted
// ones stay, so that restoreCapabilities() can raise them again.
std::string dropCapabilities(std::initializer_list<int> dropped) {
    if (::geteuid() != 0) return "not root";
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return "cannot read the capabilities";
    for (const int cap : dropped) data[cap / 32].effective &= ~(1u << (cap % 32));
    if (::syscall(SYS_capset, &header, data) != 0) return "cannot drop capabilities";
    return "";
}

void restoreCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (::syscall(SYS_capget, &header, data) != 0) return;
    for (__user_cap_data_struct& set : data) set.effective = set.permitted;
    (void)::syscall(SYS_capset, &header, data);
}

// Sets a directory's inode flags (FS_APPEND_FL); why not, or "".
std::string setInodeFlags(const fs::path& path, int flags) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    const int status = ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    const int error = errno;
    ::close(fd);
    return status == 0 ? "" : std::string("cannot set its flags: ") + std::strerror(error);
}

std::string becomeNobody() {
    if (::geteuid() != 0) return "";
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
        return "cannot become nobody";
    return "";
}

// What the directory's rules, its file system, the old report and the
// process's limits and fate make of the new report. Each row readies the
// directory, writes the report in a child of its own (some rows change that
// process for good: another user, a limit, a mount of its own, a kill at one
// system call), and says how the child ends and what must stand under the
// name afterwards, with which bits and owner, and what beside it.
TEST_F(ReportPlace, TheDirectoryAndTheOldReportHaveTheirSay) {
    const Json::Value document = smallReport();
    const std::string fresh = toStyledText(document), old = "null\n", none;
    // An old report longer than the new one, as one of many cameras.
    const std::string longOld = toStyledText(bigReport()).substr(0, 822);
    const std::string freshOverLongOld = fresh + std::string(longOld.size() - fresh.size(), ' ');
    // Longer than one write that nothing cuts short.
    const std::string manyOld = toStyledText(manyCameras(300, u"A camera of the old report"));
    const uid_t me = ::geteuid();
    const fs::path source = root() / "source", seen = root() / "seen";
    // A bindfs mount over `source` at the report's directory, in a mount
    // namespace of the child's own.
    const auto fixedOwner = [&](bool oldReport) {
        if (::access("/usr/bin/bindfs", X_OK) != 0) return std::string("no bindfs here");
        if (::access("/dev/fuse", R_OK | W_OK) != 0) return std::string("no /dev/fuse to use here");
        fs::create_directories(source);
        if (oldReport) write(source / "CameraInfo.txt", old, fs::perms(0600));
        return std::string();
    };
    const auto mountFixedOwner = [&] {
        std::string why = enterPrivateMounts();
        if (!why.empty()) return why;
        const pid_t bindfs = ::fork();
        if (bindfs == 0) {
            // Refused to its owner's face too (root may change any file's mode).
            ::execl("/usr/bin/bindfs", "bindfs", "-o", "nonempty", "--force-user=nobody", "--force-group=nogroup",
                    "--perms=a+rwX", "--chmod-deny", "--chown-deny", source.c_str(), dir().c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        if (::waitpid(bindfs, &status, 0) != bindfs || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return std::string("bindfs could not mount here");
        struct stat mounted {};
        if (::stat(dir().c_str(), &mounted) != 0 || mounted.st_uid != 65534)
            return std::string("bindfs shows no nobody");
        return std::string();
    };
    const auto closedDirectory = [&](const std::string& oldText) {
        write(report(), oldText, fs::perms(0666));
        fs::permissions(root(), fs::perms(0755));
        fs::permissions(dir(), fs::perms(0555));
        return std::string();
    };
    // Killed at `call`, as nobody in a directory closed to writing.
    const auto killedAtCall = [](const char* call, bool asNobody) {
        return [call, asNobody] {
            killedAt = call;
            return asNobody ? becomeNobody() : std::string();
        };
    };
    // As root, an old report made 0600 and given to nobody.
    const auto nobodysOldReport = [&] {
        write(report(), old, fs::perms(0600));
        if (me != 0 || ::chown(report().c_str(), 65534, 65534) != 0) return std::string("not root");
        return std::string();
    };
    constexpr int kWritten = 0, kNotWritten = 1, kKilled = 128 + SIGKILL;
    struct Row {
        const char* what;
        std::function<std::string()> ready;  // before the child; why the row cannot run here, or ""
        std::function<std::string()> enter;  // in the child, before the write; why not, or ""
        int ending;                          // kWritten, kNotWritten or kKilled
        const std::string& present;          // what stands under the name afterwards; none: nothing
        mode_t bits;
        uid_t owner;
        const char* left = "CameraInfo.txt\n";  // the directory's names afterwards
    };
    const Row rows[] = {
        {"a directory whose default ACL gives others nothing: the report is made as any new file there",
         [&] {
             const std::string acl = aclGivingOthersNothing();
             if (::setxattr(dir().c_str(), "system.posix_acl_default", acl.data(), acl.size(), 0) != 0)
                 return std::string("no ACLs here: ") + std::strerror(errno);
             return std::string();
         },
         [] { return std::string(); }, kWritten, fresh, 0660, me},
        {"an old report made 0600 (and, as root, given to nobody): its bits and owner carry over",
         [&] {
             write(report(), old, fs::perms(0600));
             if (me == 0 && ::chown(report().c_str(), 65534, 65534) != 0) return std::string("cannot give it away");
             return std::string();
         },
         [] { return std::string(); }, kWritten, fresh, 0600, me == 0 ? 65534 : me},
        {"a file system that shows every file as nobody's and refuses chmod (bindfs; as vfat or CIFS mounted with "
         "uid=): the report as made",
         [&] { return fixedOwner(false); }, mountFixedOwner, kWritten, fresh, 0666, 65534},
        {"the same over an old report made 0600: taking over its bits is refused, and the report stays as made",
         [&] { return fixedOwner(true); }, mountFixedOwner, kWritten, fresh, 0666, 65534},
        {"a directory closed to writing and a file size limit of 0: the old report stays whole",
         [&] { return closedDirectory(old); },
         [] {
             std::string why = becomeNobody();
             if (!why.empty()) return why;
             // The soft limit only, so that what the write left can be recorded after it.
             const rlimit none{0, RLIM_INFINITY};
             std::signal(SIGXFSZ, SIG_IGN);
             if (::setrlimit(RLIMIT_FSIZE, &none) != 0) return std::string("cannot limit the file size");
             return std::string();
         },
         kNotWritten, old, 0666, me},
        {"a file size limit of 0 with SIGXFSZ at its default: the run lives on, and leaves no report at all",
         [&] {
             write(report(), old, fs::perms(0644));
             return std::string();
         },
         [] {
             const rlimit none{0, RLIM_INFINITY};
             std::signal(SIGXFSZ, SIG_DFL);
             if (::setrlimit(RLIMIT_FSIZE, &none) != 0) return std::string("cannot limit the file size");
             return std::string();
         },
         kNotWritten, none, 0, 0, ""},
        {"a directory closed to writing and an old report with another name too (a hard link kept as a copy): "
         "left as it is",
         [&] {
             closedDirectory(old);
             fs::create_hard_link(report(), outside() / "monday.txt");
             return std::string();
         },
         becomeNobody, kNotWritten, old, 0666, me},
        {"a directory closed to writing, the run killed between the write in place and the cut: JSON and blanks",
         [&] { return closedDirectory(longOld); }, killedAtCall("ftruncate", true), kKilled, freshOverLongOld, 0666,
         me},
        {"no link can be made to the nameless report (no /proc and no privilege): it is copied to a name whole",
         [&] {
             write(report(), old, fs::perms(0640));
             return std::string();
         },
         [] {
             linksRefused = true;
             return std::string();
         },
         kWritten, fresh, 0640, me},
        {"the run killed before its new report has a name: nothing is left beside the old report",
         [&] {
             write(report(), old, fs::perms(0644));
             const int nameless = ::open(dir().c_str(), O_WRONLY | O_TMPFILE, 0600);
             if (nameless < 0) return std::string("no files without a name here: ") + std::strerror(errno);
             ::close(nameless);
             return std::string();
         },
         killedAtCall("linkat", false), kKilled, old, 0644, me},
        {"a directory closed to writing over an old report of 300 cameras, more than one write covers: left whole",
         [&] { return closedDirectory(manyOld); }, becomeNobody, kNotWritten, manyOld, 0666, me},
        {"a directory closed to writing, the write in place failing (EIO): the old report stays whole",
         [&] { return closedDirectory(longOld); },
         [] {
             writesFail = true;
             return becomeNobody();
         },
         kNotWritten, longOld, 0666, me},
        {"a directory closed to writing, the run killed at the write in place: the old report stays whole",
         [&] { return closedDirectory(longOld); }, killedAtCall("pwrite", true), kKilled, longOld, 0666, me},
        {"as root without CAP_FOWNER, an old report made 0600 and given to nobody: its bits and owner carry over",
         nobodysOldReport, [] { return dropCapabilities({CAP_FOWNER}); }, kWritten, fresh, 0600, 65534},
        {"the same without CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH too, where a nameless file cannot be linked by "
         "itself (Linux before 6.10): still named, given away only then",
         nobodysOldReport,
         [] {
             emptyPathRefused = true;
             return dropCapabilities({CAP_FOWNER, CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH});
         },
         kWritten, fresh, 0600, 65534},
        {"an append-only directory (chattr +a), where nothing made can be removed again: written in place",
         [&] {
             write(report(), old, fs::perms(0644));
             return setInodeFlags(dir(), FS_APPEND_FL);
         },
         [] { return std::string(); }, kWritten, fresh, 0644, me},
    };
    // What stands under the name and beside it, as this process sees it.
    const auto record = [&] {
        struct stat after {};
        if (::lstat(report().c_str(), &after) == 0) {
            std::ofstream(seen / "text", std::ios::binary) << slurp(report());
            std::ofstream(seen / "mode") << (after.st_mode & 07777) << ' ' << after.st_uid;
        }
        std::ofstream listing(seen / "names");
        for (const std::string& name : names(dir())) listing << name << '\n';
    };
    std::string skipped;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::permissions(dir(), fs::perms(0755));
        fs::remove_all(dir());
        fs::remove_all(source);
        fs::remove_all(seen);
        fs::create_directories(dir());
        fs::create_directories(seen);
        fs::permissions(seen, fs::perms(0777));
        const std::string notHere = row.ready();
        std::string why;
        int result = -1;
        if (notHere.empty()) {
            result = runInChild([&] {
                const std::string refused = row.enter();
                if (!refused.empty()) {
                    std::ofstream(seen / "refused") << refused;
                    return 77;
                }
                const bool written = writeReportFile(report().c_str(), document);
                restoreCapabilities();
                const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
                ::setrlimit(RLIMIT_FSIZE, &unlimited);
                record();
                ::umount2(dir().c_str(), MNT_DETACH);
                return written ? kWritten : kNotWritten;
            });
            why = slurp(seen / "refused");
            // A child killed on its way records nothing: its directory is as it left it.
            if (result == kKilled) record();
        }
        (void)setInodeFlags(dir(), 0);
        fs::permissions(dir(), fs::perms(0755));
        if (!notHere.empty() || result == 77) {
            skipped += std::string(skipped.empty() ? "" : "; ") + row.what + ": " + (notHere.empty() ? why : notHere);
            continue;
        }
        EXPECT_EQ(result, row.ending);
        EXPECT_EQ(slurp(seen / "text"), row.present);
        std::istringstream mode(slurp(seen / "mode"));
        mode_t bits = 0;
        uid_t owner = 0;
        mode >> bits >> owner;
        EXPECT_EQ(bits, row.bits) << std::oct << bits;
        EXPECT_EQ(owner, row.owner);
        EXPECT_EQ(slurp(seen / "names"), row.left) << "nothing else is left beside it";
    }
    if (!skipped.empty()) GTEST_SKIP() << "rows not run here: " << skipped;
}

// Two runs in place at once: the first slowed before its cut, the second
// started meanwhile, takes its turn, and the end is one whole report.
// (A reader at the very moment of a write may see part of each: no file
// system makes a write atomic to its readers.)
TEST_F(ReportPlace, RunsInPlaceAtTheSameTimeTakeTurns) {
    const std::string textA = toStyledText(manyCameras(20, u"Camera A")), textB = toStyledText(smallReport());
    write(report(), "null\n", fs::perms(0666));
    fs::permissions(root(), fs::perms(0755));
    fs::permissions(dir(), fs::perms(0555));
    const auto run = [&](const Json::Value& document, bool slowed) {
        const pid_t child = ::fork();
        if (child == 0) {
            slowCut = slowed;
            ::_exit(becomeNobody().empty() && ::access(dir().c_str(), X_OK) == 0 &&
                            writeReportFile(report().c_str(), document)
                        ? 0
                        : 1);
        }
        return child;
    };
    const pid_t a = run(manyCameras(20, u"Camera A"), true);
    ASSERT_GT(a, 0);
    // The second starts once the first has written, during its slowed cut.
    for (int i = 0; i < 5000 && slurp(report()).compare(0, textA.size(), textA) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const pid_t b = run(smallReport(), false);
    ASSERT_GT(b, 0);
    int statusA = 0, statusB = 0;
    ::waitpid(a, &statusA, 0);
    ::waitpid(b, &statusB, 0);
    fs::permissions(dir(), fs::perms(0755));
    EXPECT_TRUE(WIFEXITED(statusA) && WEXITSTATUS(statusA) == 0) << "the first run wrote nothing";
    const std::string seen = slurp(report());
    EXPECT_TRUE(seen == textA || seen == textB) << seen;
}

// An old report far larger than memory (sparse, so no disk is used) in a
// directory closed to writing: it is left as it is, and nothing of its size
// is ever held.
TEST_F(ReportPlace, AnOldReportOfAnySizeIsNeverHeldInMemory) {
    write(report(), "null\n", fs::perms(0666));
    constexpr std::uintmax_t kHuge = std::uintmax_t{64} << 30;
    std::error_code error;
    fs::resize_file(report(), kHuge, error);
    if (error) GTEST_SKIP() << "no sparse file of 64 GiB here: " << error.message();
    fs::permissions(root(), fs::perms(0755));
    fs::permissions(dir(), fs::perms(0555));
    const int result = runInChild([&] {
        if (!becomeNobody().empty() || ::access(dir().c_str(), X_OK) != 0) return 77;
        return writeReportFile(report().c_str(), smallReport()) ? 1 : 0;
    });
    fs::permissions(dir(), fs::perms(0755));
    if (result == 77) GTEST_SKIP() << "nobody cannot reach the test's directory here";
    EXPECT_EQ(result, 0) << "ended with " << result;
    EXPECT_EQ(fs::file_size(report()), kHuge);
    std::ifstream in(report(), std::ios::binary);
    char start[5] = {};
    in.read(start, sizeof start);
    EXPECT_EQ(std::string(start, sizeof start), "null\n");
}

// A stream whose first write fails and whose later ones succeed, as a disk
// that fills and then has room again.
TEST(ReportText, AFailedWriteIsNotForgottenByLaterOnes) {
    int writes = 0;
    cookie_io_functions_t io{};
    // A cookie's write says it failed by writing nothing (never by -1).
    io.write = [](void* cookie, const char*, std::size_t size) -> ssize_t {
        return (*static_cast<int*>(cookie))++ == 0 ? 0 : static_cast<ssize_t>(size);
    };
    std::FILE* stream = ::fopencookie(&writes, "w", io);
    ASSERT_NE(stream, nullptr);
    EXPECT_FALSE(writeStyledText(bigReport(), stream));
    std::fclose(stream);
    EXPECT_GT(writes, 2) << "the writes after the failed one went on";
}

class ReportFifo : public OnDisk {
protected:
    void SetUp() override {
        OnDisk::SetUp();
        ASSERT_EQ(::mkfifo(fifo().c_str(), 0644), 0);
    }
    fs::path fifo() const { return root() / "CameraInfo.txt"; }
};

TEST_F(ReportFifo, WithNobodyReadingThereIsNoReportAndNoWait) {
    bool written = true;
    EXPECT_TRUE(finishesUnaided([&] { written = writeReportFile(fifo().c_str(), Json::Value()); }, {fifo()}))
        << "the report waited for a reader";
    EXPECT_FALSE(written);
    EXPECT_TRUE(fs::is_fifo(fifo()));  // left as it was
    EXPECT_EQ(names(root()), std::vector<std::string>{"CameraInfo.txt"});
}

TEST_F(ReportFifo, ASlowReaderGetsEveryByte) {
    FifoReader reader(fifo());
    ASSERT_TRUE(reader.isOpen());
    const Json::Value document = bigReport();
    const std::string report = toStyledText(document);
    ASSERT_GT(report.size(), 1u << 20);
    std::string received;
    // Small reads after a pause, so that the writer waits again and again.
    std::thread slow([&] { received = reader.readAll(1000, std::chrono::milliseconds(1)); });
    EXPECT_TRUE(writeReportFile(fifo().c_str(), document));
    slow.join();
    EXPECT_EQ(received.size(), report.size());
    EXPECT_TRUE(received == report);
    EXPECT_TRUE(fs::is_fifo(fifo()));
}

TEST_F(ReportFifo, AReaderThatLeavesEarlyOnlyFailsTheWrite) {
    const int reader = ::open(fifo().c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::thread leaving([&] {
        // Reads until the writer has sent something, then goes away while it
        // still has most of the report to write.
        char buffer[4096];
        for (ssize_t got = 0; got <= 0;) {
            got = ::read(reader, buffer, sizeof buffer);  // 0 until a writer opens, then EAGAIN until it writes
            if (got <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(reader);
    });
    // Were SIGPIPE not set aside, this process would end here.
    EXPECT_FALSE(writeReportFile(fifo().c_str(), bigReport()));
    leaving.join();
}

}  // namespace

}  // namespace camera_info

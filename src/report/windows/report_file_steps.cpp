// The report file's steps on Windows: every file shared with other processes
// while it is open, links replaced instead of followed.
#include "report/report_file_steps.h"

// First: the other Windows headers take its types as given.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "owners/file_descriptor.h"
#include "owners/windows/handle_owners.h"

namespace camera_info {

namespace {

// Paths here are the program's own ASCII names, or a caller's in the ANSI
// code page, as the narrow file functions take them.
std::wstring wide(const char* path) {
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, &text[0], units);
    text.resize(static_cast<std::size_t>(units) - 1);
    return text;
}

// A stdio stream over `handle` for binary output, or none (the handle closed).
ReportStream streamOf(UniqueFileHandle handle) {
    if (!handle) return ReportStream();
    FileDescriptor fd(_open_osfhandle(reinterpret_cast<std::intptr_t>(handle.get()), _O_WRONLY | _O_BINARY));
    if (!fd) return ReportStream();
    static_cast<void>(handle.release());  // the descriptor's now
    std::FILE* file = _fdopen(fd.get(), "wb");
    if (file != nullptr) static_cast<void>(fd.release());  // the stream's now
    return ReportStream(file);
}

// The handle under a stream: still the stream's.
HANDLE handleOf(const ReportStream& file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get()))); }

// Other processes may read and write the report while it is being written,
// as they may any file the program did not open.
constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

bool isReportStream(const char*) { return false; }

ReportStream openReportStream(const char*) { return ReportStream(); }

const char kPathSeparators[] = "\\/";

// No source of randomness beyond kernel32's: a sequence of the process and
// the time of its first call, stepped at each call.
void freshNameRandomness(unsigned char* bytes, std::size_t count) {
    static std::uint32_t seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    for (std::size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        bytes[i] = static_cast<unsigned char>(seed >> 24);
    }
}

ReportStream createReportSibling(const std::string& prefix, std::string& created) {
    UniqueFileHandle handle;
    (void)underFreshName(prefix, created, [&](const std::string& name) {
        // CREATE_NEW fails wherever anything stands under the name, a link included.
        handle.reset(CreateFileW(wide(name.c_str()).c_str(), GENERIC_WRITE, kShared | FILE_SHARE_DELETE, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (handle) return NameAttempt::Made;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? NameAttempt::Taken : NameAttempt::Failed;
    });
    return streamOf(std::move(handle));
}

// Every new file has its name from the start.
bool nameReportSibling(ReportStream&, const std::string&, std::string& created) { return !created.empty(); }

// A new file takes the rights its folder gives new files, as any new file
// there does; the read-only attribute belongs to the file it replaces.
void takeOverReportMode(const char*, ReportStream&) {}

void takeOverReportOwner(const char*, ReportStream&) {}

bool replaceReportFile(const std::string& from, const char* to) {
    const std::wstring source = wide(from.c_str());
    const std::wstring target = wide(to);
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    // A read-only file refuses to be replaced until it is writable; a link
    // (a reparse point) is left as it is, never followed to its target.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY) == 0 ||
        (attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return false;
    }
    if (!SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    SetFileAttributesW(target.c_str(), attributes);
    return false;
}

void removeReportFile(const char* path) { (void)DeleteFileW(wide(path).c_str()); }

ReportStream openReportInPlace(const char* path) {
    // The link itself is opened, and refused, rather than what it points to.
    UniqueFileHandle handle(CreateFileW(wide(path).c_str(), GENERIC_WRITE, kShared, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle) return ReportStream();
    BY_HANDLE_FILE_INFORMATION info{};
    // A file with another name too (a hard link kept as a copy) would change
    // under that name as well: it is left as it is.
    if (!GetFileInformationByHandle(handle.get(), &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        info.nNumberOfLinks > 1) {
        return ReportStream();
    }
    return streamOf(std::move(handle));
}

ReportHold holdReportInPlace(ReportStream& file, std::uint64_t& size) {
    const HANDLE handle = handleOf(file);
    if (handle == INVALID_HANDLE_VALUE) return ReportHold::Refused;
    // Windows's locks keep every other handle from the bytes they cover, so
    // the one lock that only other runs ask for covers a byte far past any
    // report, and readers are never refused. Closing the handle lets it go.
    OVERLAPPED farByte{};
    farByte.OffsetHigh = 0x100;  // 1 TiB
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &farByte))
        return GetLastError() == ERROR_LOCK_VIOLATION ? ReportHold::Busy : ReportHold::Refused;
    LARGE_INTEGER current{};
    if (!GetFileSizeEx(handle, &current)) return ReportHold::Refused;
    size = static_cast<std::uint64_t>(current.QuadPart);
    return ReportHold::Held;
}

ReportRoom reserveReportRoom(ReportStream& file, std::uint64_t size) {
    const HANDLE handle = handleOf(file);
    LARGE_INTEGER current{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileSizeEx(handle, &current)) return ReportRoom::None;
    // A smaller allocation than the file would cut it: it is only grown.
    if (size <= static_cast<std::uint64_t>(current.QuadPart)) return ReportRoom::Reserved;
    FILE_ALLOCATION_INFO allocation{};
    allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (SetFileInformationByHandle(handle, FileAllocationInfo, &allocation, sizeof allocation))
        return ReportRoom::Reserved;
    // Wine, for one, cannot reserve.
    const DWORD error = GetLastError();
    return error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER ||
                   error == ERROR_INVALID_FUNCTION
               ? ReportRoom::Unknown
               : ReportRoom::None;
}

std::optional<std::uint64_t> freeSpaceAt(const char* path) {
    // The free space of the folder the file is in.
    std::wstring folder = wide(path);
    folder.erase(std::min(folder.size(), folder.find_last_of(L"\\/") + 1));
    ULARGE_INTEGER free{};
    if (!GetDiskFreeSpaceExW(folder.empty() ? L"." : folder.c_str(), &free, nullptr, nullptr)) return std::nullopt;
    return free.QuadPart;
}

bool writeReportAtStart(ReportStream& file, const std::string& text) {
    const HANDLE handle = handleOf(file);
    const LARGE_INTEGER start{};
    DWORD written = 0;
    return handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) &&
           WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

bool closeReportInPlace(ReportStream file, std::uint64_t length) {
    // What is left of a longer old report (blanks by now) is cut off where
    // the new one ends.
    const HANDLE handle = handleOf(file);
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(length);
    const bool done =
        handle != INVALID_HANDLE_VALUE && SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) && SetEndOfFile(handle);
    return file.close() && done;
}

}  // namespace camera_info

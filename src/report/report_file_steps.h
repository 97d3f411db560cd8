// The report file's platform steps (linux/ and windows/); the order they are
// taken in, and what a failure leaves behind, is decided once, in
// report_file.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "report/report_stream.h"

namespace camera_info {

// Whether a FIFO stands under `path`: someone waiting to read the report
// as a stream. Never, where FIFOs do not live in the file system.
bool isReportStream(const char* path);

// That FIFO, opened for binary output without waiting for a reader; none
// when nobody reads it (or it is no FIFO any more).
ReportStream openReportStream(const char* path);

// The characters that end a directory in a path ("/", or "\\/" on Windows).
extern const char kPathSeparators[];

// What one attempt to make something under a name came to: made, or the
// name taken already by whatever stands under it, or failed otherwise.
enum class NameAttempt { Made, Taken, Failed };

// Calls `make` with `prefix` and six letters and digits until it makes
// something (the name then in `created`), and gives up at the first failure
// for another reason than a taken name, or after 100 names; written once, in
// report_file.cpp, for the steps of every platform.
bool underFreshName(const std::string& prefix, std::string& created,
                    const std::function<NameAttempt(const std::string&)>& make);

// Fills `bytes` with the platform's randomness for fresh names: as
// unpredictable to another run as it can be had without waiting.
void freshNameRandomness(unsigned char* bytes, std::size_t count);

// A new, empty file in the directory of `prefix`, open for binary output,
// made as any new file there is made (the directory's rules decide who may
// read it). Where the platform can, it has no name yet, so that a run killed
// while writing it leaves nothing behind, and `created` is left empty;
// elsewhere its name is `prefix` and a few characters of the platform's
// choosing that nothing stood under (created exclusively, never through a
// link), and goes to `created`. None when no file can be made there, or
// where the directory would keep whatever is made in it (append-only: a
// name given there can be neither replaced nor removed).
ReportStream createReportSibling(const std::string& prefix, std::string& created);

// Gives the file made by createReportSibling, once all of it has been
// written, a name as that function would have (`prefix` and a few
// characters), into `created`; a file that has its name already keeps it.
// `file` may then be another stream over a named copy of the same bytes.
// False when no name can be given.
bool nameReportSibling(ReportStream& file, const std::string& prefix, std::string& created);

// Gives `replacement` the permission bits of a regular file under `path`, as
// far as the file system allows: a refused change keeps the file as it was
// made. Nothing where no regular file stands under `path`.
void takeOverReportMode(const char* path, ReportStream& replacement);

// Gives `replacement`, once it has its name, the owner and group of a regular
// file under `path`, where the platform keeps them beside the bytes and the
// process may (root): a refused change keeps the file as it was made.
void takeOverReportOwner(const char* path, ReportStream& replacement);

// Puts the file `from` in the place of `to` in one step, whatever stood
// there (a file, a link, which is never followed): a reader sees the old or
// the new file, each whole. False when it cannot be done (`to` held open on
// Windows, a directory in its place).
bool replaceReportFile(const std::string& from, const char* to);

// Removes the name `path` (a link itself, never what it points to); quietly
// does nothing where it cannot.
void removeReportFile(const char* path);

// The regular file that already stands under `path`, open for binary output
// with shared access, never through a link, nothing in it changed yet: for a
// directory where no new file can be made. None when there is none, or when
// the file has other names too (a hard link kept as a copy elsewhere), which
// writing in place would change.
ReportStream openReportInPlace(const char* path);

// Keeps other runs from the file opened in place until it is closed, with
// its size then in `size` (held), without waiting: busy while another run
// holds it, refused where it cannot be held (a file system without locks).
enum class ReportHold { Held, Busy, Refused };
ReportHold holdReportInPlace(ReportStream& file, std::uint64_t& size);

// Whether `size` bytes fit in the file opened in place, without changing
// what it holds: reserved (no write of them can run out of room), none (a
// full disk, a quota, a limit on the file size), or unknown where the file
// system has no way to reserve room.
enum class ReportRoom { Reserved, None, Unknown };
ReportRoom reserveReportRoom(ReportStream& file, std::uint64_t size);

// The bytes free to this user on the file system that holds `path`, where
// the platform tells.
std::optional<std::uint64_t> freeSpaceAt(const char* path);

// Writes `text` over the start of the file opened in place in one call,
// which a stop cannot cut short where the text fits one page; nothing goes
// through the stream's buffer. False unless every byte was written.
bool writeReportAtStart(ReportStream& file, const std::string& text);

// Ends the file written in place after its first `length` bytes, and closes
// it; false if that failed.
bool closeReportInPlace(ReportStream file, std::uint64_t length);

}  // namespace camera_info

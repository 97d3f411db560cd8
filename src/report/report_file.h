// The report file's platform steps; the order they are taken in, and what a
// failure leaves behind, is decided once, in camera_report.cpp.
#pragma once

#include <cstdio>
#include <string>

// Whether a FIFO stands under `path`: someone waiting to read the report
// as a stream. Never, where FIFOs do not live in the file system.
bool isReportStream(const char* path);

// That FIFO, opened for binary output without waiting for a reader; null
// when nobody reads it (or it is no FIFO any more).
std::FILE* openReportStream(const char* path);

// The characters that end a directory in a path ("/", or "\\/" on Windows).
extern const char kPathSeparators[];

// A new, empty file whose name is `prefix` and a few characters of the
// platform's choosing, that nothing stood under (created exclusively, never
// through a link), open for binary output and readable by others as the
// report is; its name goes to `created`. Null when no file can be made there.
std::FILE* createReportSibling(const std::string& prefix, std::string& created);

// Puts the file `from` in the place of `to` in one step, whatever stood
// there (a file, a link, which is never followed): a reader sees the old or
// the new file, each whole. False when it cannot be done (`to` held open on
// Windows, a directory in its place).
bool replaceReportFile(const std::string& from, const char* to);

// Removes the name `path` (a link itself, never what it points to); quietly
// does nothing where it cannot.
void removeReportFile(const char* path);

// The regular file that already stands under `path`, truncated and open for
// binary output with shared access, never through a link: for a directory
// where no new file can be made. Null when there is none.
std::FILE* openReportInPlace(const char* path);

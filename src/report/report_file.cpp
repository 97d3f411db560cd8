// In which order the report gets to its place, and what a failure leaves
// behind; the platform's steps are in report_file_steps.h.
#include "report/report_file.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>

#include "report/report_file_steps.h"
#include "report/styled_text.h"

namespace camera_info {

namespace {

// Writes the whole text and closes the file; false if any byte or the close failed.
bool writeAndClose(ReportStream file, const Json::Value& document) {
    const bool written = writeStyledText(document, file.get());
    return file.close() && written;
}

// The start of the name the report is made under beside `path`: hidden, and
// named after the report, so that one left by a run that was killed says what
// it was (".CameraInfo.txt.").
std::string siblingPrefix(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, base) + "." + path.substr(base) + ".";
}

}  // namespace

bool underFreshName(const std::string& prefix, std::string& created,
                    const std::function<NameAttempt(const std::string&)>& make) {
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[6] = {};
        freshNameRandomness(random, sizeof random);
        std::string name = prefix;
        for (const unsigned char byte : random) name += kLetters[byte % (sizeof kLetters - 1)];
        switch (make(name)) {
            case NameAttempt::Made: created = std::move(name); return true;
            case NameAttempt::Taken: break;
            case NameAttempt::Failed: return false;
        }
    }
    return false;
}

bool writeReportFile(const char* path, const Json::Value& document) {
    // A FIFO in the report's place is someone waiting to read it: it gets the
    // report as a stream, as it is made, or nothing while nobody reads it.
    if (isReportStream(path)) {
        ReportStream stream = openReportStream(path);
        return stream && writeAndClose(std::move(stream), document);
    }

    // The report is made whole beside the old one and then put in its place,
    // so that nobody, not even a run at the same time, ever sees a mix, and a
    // link under the name is replaced instead of followed. Where the platform
    // can, it is given a name only once whole: a run killed while writing
    // leaves nothing behind.
    const std::string prefix = siblingPrefix(path);
    std::string sibling;
    if (ReportStream file = createReportSibling(prefix, sibling)) {
        // The new report keeps out whom the old one kept out before a byte is
        // in it; its owner is given only once it has a name, since a file
        // given away can no longer be named, nor its bits changed, by a root
        // without CAP_FOWNER.
        takeOverReportMode(path, file);
        const bool written = writeStyledText(document, file.get()) && std::fflush(file.get()) == 0;
        const bool named = written && nameReportSibling(file, prefix, sibling);
        if (named) takeOverReportOwner(path, file);
        // A named report whose close fails has bytes that never reached the disk.
        const bool closed = file.close();
        if (!written || (named && !closed)) {
            // A report that cannot be completed (a full disk, a file size
            // limit) leaves none at all: a missing file says the run could
            // not write, an old one would pass for this run's.
            if (!sibling.empty()) removeReportFile(sibling.c_str());
            removeReportFile(path);
            return false;
        }
        if (named && replaceReportFile(sibling, path)) return true;
        // A whole report that could not be named or put in place: the old
        // one stays, and may yet be written in place.
        if (!sibling.empty()) removeReportFile(sibling.c_str());
    }

    // Where nothing new can be made or put in place (a directory closed to
    // writing, an old report held open on Windows), a report file that can
    // be written is written in place, but only where one write can do it:
    // a write of one page is never cut short, while a longer one, stopped or
    // failing halfway, would leave the new text followed by the old one's
    // tail. Pages are 4 KiB at the least, on every machine.
    constexpr std::uint64_t kUncutWrite = 4096;
    ReportStream file = openReportInPlace(path);
    if (!file) return false;
    // Held from here to the cut, so that another run in place waits instead
    // of padding to a length this one is about to change. That run holds it
    // for one write and a cut, so three seconds are plenty; one that does not
    // let go leaves the old report as it is.
    std::uint64_t oldSize = 0;
    ReportHold hold = holdReportInPlace(file, oldSize);
    for (int attempt = 0; hold == ReportHold::Busy && attempt < 300; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        hold = holdReportInPlace(file, oldSize);
    }
    if (hold != ReportHold::Held || oldSize > kUncutWrite) return false;
    std::string text = toStyledText(document);
    const std::size_t length = text.size();
    if (length > kUncutWrite) return false;
    // The new text goes in padded with blanks over the whole old one, and is
    // cut only then: a run stopped between the two leaves JSON followed by
    // white space.
    if (oldSize > length) text.append(static_cast<std::size_t>(oldSize) - length, ' ');
    // Where the file system cannot reserve room, the free space has to do.
    const ReportRoom room = reserveReportRoom(file, text.size());
    if (room == ReportRoom::None || (room == ReportRoom::Unknown && freeSpaceAt(path).value_or(0) < text.size()))
        return false;
    // A write that failed changed nothing, so nothing is cut; the old report
    // still goes where it can, as it would pass for this run's.
    if (writeReportAtStart(file, text) && closeReportInPlace(std::move(file), length)) return true;
    removeReportFile(path);
    return false;
}

}  // namespace camera_info

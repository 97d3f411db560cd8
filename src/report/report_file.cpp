// In which order the report gets to its place, and what a failure leaves
// behind; the platform's steps are in report_file_steps.h.
#include "report_file.h"

#include <string>
#include <utility>

#include "report_file_steps.h"
#include "styled_text.h"

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
        // The new report is for whom the old one was, before a byte is in it.
        takeOverReportPermissions(path, file);
        const bool whole = writeStyledText(document, file.get()) && std::fflush(file.get()) == 0 &&
                           nameReportSibling(file, prefix, sibling);
        if (!(file.close() && whole)) {
            // A report that cannot be completed (a full disk, a file size
            // limit) leaves none at all: a missing file says the run could
            // not write, an old one would pass for this run's.
            if (!sibling.empty()) removeReportFile(sibling.c_str());
            removeReportFile(path);
            return false;
        }
        if (replaceReportFile(sibling, path)) return true;
        removeReportFile(sibling.c_str());
    }

    // Where nothing new can be made or put in place (a directory closed to
    // writing, an old report held open on Windows), a report file that can
    // be written is written in place, once there is room for all of it: the
    // old report stays whole where there is not, and is no longer there
    // where a write fails none the less.
    std::string text = toStyledText(document);
    std::uint64_t oldSize = 0;
    ReportStream file = openReportInPlace(path, oldSize);
    if (!file) return false;
    // The new text goes in first padded with blanks over the whole old one,
    // and is cut only then: a run stopped between the two leaves JSON
    // followed by white space, never the new text followed by the old tail.
    const std::size_t length = text.size();
    if (oldSize > length) text.append(static_cast<std::size_t>(oldSize - length), ' ');
    // Where the file system cannot reserve room, the free space has to do.
    const ReportRoom room = reserveReportRoom(file, text.size());
    if (room == ReportRoom::None || (room == ReportRoom::Unknown && freeSpaceAt(path).value_or(0) < text.size()))
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    if (closeReportInPlace(std::move(file), length) && written) return true;
    removeReportFile(path);
    return false;
}


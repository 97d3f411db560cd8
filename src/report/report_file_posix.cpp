// Report file opening where files have no share modes.
#include "report_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

std::FILE* openReportFile(const char* path) {
    // Opened without blocking, a FIFO in the report's place with nobody
    // reading it fails at once (ENXIO) instead of holding the run for ever;
    // one that somebody reads is opened, and gets the whole report.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    // Once open, writes wait for a slow reader as writes do.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    // A reader that goes away early makes the write fail, silently like any
    // other failure, instead of ending the process with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return file;
}

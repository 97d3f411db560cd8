// Runs a step that must not block, and frees it if it does.
#include "support/no_hang.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <future>
#include <thread>

namespace camera_info {

bool finishesUnaided(const std::function<void()>& step, const std::vector<std::filesystem::path>& fifos,
                     std::chrono::milliseconds limit) {
    std::packaged_task<void()> task(step);
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(limit) == std::future_status::ready) {
        runner.join();
        return true;
    }
    // A blocked open of either end goes on once the other end exists; closing
    // it again then gives a reader the end of the file and a writer EPIPE. A
    // step may block on one FIFO after another, so this is done again and again.
    for (int round = 0; round < 100; ++round) {
        for (const std::filesystem::path& fifo : fifos) {
            const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
            if (fd >= 0) ::close(fd);
        }
        if (done.wait_for(std::chrono::milliseconds(50)) == std::future_status::ready) {
            runner.join();
            return false;
        }
    }
    runner.detach();  // still stuck: leave it, the failure is reported either way
    return false;
}

FifoReader::FifoReader(const std::filesystem::path& fifo)
    : fd_(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}

FifoReader::~FifoReader() {
    if (fd_ >= 0) ::close(fd_);
}

std::string FifoReader::readAll(std::size_t chunk, std::chrono::milliseconds pause,
                                std::chrono::milliseconds patience) {
    std::string received;
    std::string buffer(chunk, '\0');
    // A FIFO read end reports a hang-up only once a writer has come and gone;
    // until the first writer opens, poll waits and read finds no writer.
    for (bool writerSeen = false;;) {
        pollfd waiting{fd_, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(patience.count()));
        if (ready <= 0) break;  // nothing for too long: the test reports what is missing
        if (pause.count() > 0) std::this_thread::sleep_for(pause);
        const ssize_t got = ::read(fd_, &buffer[0], buffer.size());
        if (got > 0) {
            writerSeen = true;
            received.append(buffer, 0, static_cast<std::size_t>(got));
        } else if (got == 0 && (writerSeen || (waiting.revents & POLLHUP) != 0)) {
            break;  // the writer closed its end
        }
    }
    return received;
}

}  // namespace camera_info

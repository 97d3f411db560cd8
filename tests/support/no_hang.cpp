// Runs a step that must not block, and frees it if it does.
#include "no_hang.h"

#include <fcntl.h>
#include <unistd.h>

#include <future>
#include <thread>

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

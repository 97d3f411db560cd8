// Checks that a step never waits on a FIFO, without letting a failure hang the tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace camera_info {

// Runs `step` on a thread of its own. If it has not finished within `limit`,
// every FIFO in `fifos` is opened from both sides, which lets a step blocked
// on one of them go on, and the answer is false: the step would have hung.
bool finishesUnaided(const std::function<void()>& step, const std::vector<std::filesystem::path>& fifos,
                     std::chrono::milliseconds limit = std::chrono::seconds(5));

// The read end of a FIFO, opened without blocking before whoever writes to it
// starts, so that a writer that will not wait for a reader always finds one
// and a reader never waits for a writer that has come and gone.
class FifoReader {
public:
    explicit FifoReader(const std::filesystem::path& fifo);
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;
    ~FifoReader();

    bool isOpen() const { return fd_ >= 0; }
    // Everything written until the writer closes, read `chunk` bytes at a
    // time with `pause` before each read (a slow reader); gives up, with what
    // it has, once nothing has happened for `patience`.
    std::string readAll(std::size_t chunk = 4096, std::chrono::milliseconds pause = std::chrono::milliseconds(0),
                        std::chrono::milliseconds patience = std::chrono::seconds(10));

private:
    int fd_;
};

}  // namespace camera_info

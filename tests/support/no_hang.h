// Checks that a step never waits on a FIFO, without letting a failure hang the tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <vector>

// Runs `step` on a thread of its own. If it has not finished within `limit`,
// every FIFO in `fifos` is opened from both sides, which lets a step blocked
// on one of them go on, and the answer is false: the step would have hung.
bool finishesUnaided(const std::function<void()>& step, const std::vector<std::filesystem::path>& fifos,
                     std::chrono::milliseconds limit = std::chrono::seconds(5));

// The largest single allocation a step makes: a memory bound that tests can
// check without timing anything. Linked into a test executable, it replaces
// the global operator new of the whole executable.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>

namespace camera_info {

// The size of the largest allocation through operator new while `step` ran;
// none under AddressSanitizer, which keeps the allocator to itself (`step`
// runs all the same).
std::optional<std::size_t> largestAllocationDuring(const std::function<void()>& step);

}  // namespace camera_info

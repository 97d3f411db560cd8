// A global operator new that remembers the largest request while a probe
// runs. Under AddressSanitizer the sanitizer's own allocator stays in place:
// memory bounds are the plain build's business.
#include "support/allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)

std::optional<std::size_t> camera_info::largestAllocationDuring(const std::function<void()>& step) {
    step();
    return std::nullopt;
}

#else

namespace {

std::atomic<bool> probing{false};
std::atomic<std::size_t> largest{0};

void* allocate(std::size_t size) {
    if (probing.load(std::memory_order_relaxed)) {
        std::size_t seen = largest.load(std::memory_order_relaxed);
        while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
        }
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

std::optional<std::size_t> camera_info::largestAllocationDuring(const std::function<void()>& step) {
    largest = 0;
    probing = true;
    step();
    probing = false;
    return largest.load();
}

#endif

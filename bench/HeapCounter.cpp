#include "HeapCounter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>

namespace {

std::atomic<std::int64_t> g_live{0};
std::atomic<bool> g_counting{false};

void* Allocate(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    if (g_counting.load(std::memory_order_relaxed)) {
        g_live.fetch_add(static_cast<std::int64_t>(malloc_usable_size(p)),
                         std::memory_order_relaxed);
    }
    return p;
}

void Release(void* p) noexcept {
    if (p != nullptr) {
        if (g_counting.load(std::memory_order_relaxed)) {
            g_live.fetch_sub(static_cast<std::int64_t>(malloc_usable_size(p)),
                             std::memory_order_relaxed);
        }
        std::free(p);
    }
}

} // namespace

std::int64_t LiveHeapBytes() {
    return g_live.load();
}

void CountHeap(bool on) {
    g_counting.store(on);
}

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    Release(p);
}
void operator delete[](void* p) noexcept {
    Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
    Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    Release(p);
}

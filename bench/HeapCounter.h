#pragma once

#include <cstddef>
#include <cstdint>

// Live heap bytes allocated through the global operator new of this binary while counting is
// on (usable sizes, so the allocator's rounding counts too). Counting is off by default, so
// that the other benchmarks pay nothing for it.
std::int64_t LiveHeapBytes();
void CountHeap(bool on);

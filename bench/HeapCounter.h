#pragma once

#include <cstddef>

// Live heap bytes allocated through the global operator new of this binary (usable sizes, so
// the allocator's rounding counts too).
std::size_t LiveHeapBytes();

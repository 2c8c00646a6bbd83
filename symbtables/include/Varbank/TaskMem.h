#pragma once

#include "PlatformApi.h"

#include <cstddef>

// The component model's task allocator: memory that crosses from the module to the host.
extern "C" {
VARBANK_API void* CoTaskMemAlloc(std::size_t bytes);
VARBANK_API void* CoTaskMemRealloc(void* block, std::size_t bytes);
VARBANK_API void CoTaskMemFree(void* block);
}

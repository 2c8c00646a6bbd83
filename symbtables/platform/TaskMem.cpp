#include "Varbank/TaskMem.h"

#include <cstdlib>

void* CoTaskMemAlloc(std::size_t bytes) {
    return std::malloc(bytes == 0 ? 1 : bytes);
}

void* CoTaskMemRealloc(void* block, std::size_t bytes) {
    return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void CoTaskMemFree(void* block) {
    std::free(block);
}

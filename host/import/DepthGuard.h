#pragma once

#include <cstddef>

// Counts one level of a recursive walk for as long as it lives, so that walks over nested types
// can stop at a depth limit with a message instead of exhausting the stack.
class DepthGuard {
public:
    explicit DepthGuard(std::size_t& depth) : m_Depth(++depth) {}
    ~DepthGuard() { --m_Depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    std::size_t& m_Depth;
};

#pragma once

#include <cstdint>

// Host object that receives the dictionary's trace messages. The dictionary calls it with
// level 2 while holding its lock.
class CTraceSink {
public:
    virtual void Trace(std::int32_t level, const char* text) = 0;
    virtual ~CTraceSink() = default;
};

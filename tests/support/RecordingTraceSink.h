#pragma once

#include "CTraceSink.h"

#include <string>
#include <vector>

// Keeps every trace line with its level.
class RecordingTraceSink : public CTraceSink {
public:
    void Trace(std::int32_t level, const char* text) override {
        levels.push_back(level);
        lines.emplace_back(text);
    }
    std::vector<std::int32_t> levels;
    std::vector<std::string> lines;
};

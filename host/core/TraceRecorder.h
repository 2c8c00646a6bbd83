#pragma once

#include <Varbank.h>

#include <cstdint>
#include <ostream>

// The program's trace sink: echoes the dictionary's messages to a stream when asked to
// (--trace), else drops them. Refusal reasons never come from here.
class TraceRecorder : public CTraceSink {
public:
    explicit TraceRecorder(std::ostream* echo);

    void Trace(std::int32_t level, const char* text) override;

private:
    std::ostream* m_Echo;
};

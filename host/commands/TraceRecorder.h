#pragma once

#include <Varbank.h>

#include <cstdint>
#include <ostream>
#include <string>

// The host's trace sink: keeps the dictionary's last message (the resolve command turns it
// into a reason) and, when asked to, echoes every message to a stream.
class TraceRecorder : public CTraceSink {
public:
    explicit TraceRecorder(std::ostream* echo);

    void Trace(std::int32_t level, const char* text) override;
    void Clear() { m_Last.clear(); }
    const std::string& Last() const { return m_Last; }

private:
    std::ostream* m_Echo;
    std::string m_Last;
};

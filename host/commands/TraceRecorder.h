#pragma once

#include <Varbank.h>

#include <cstdint>
#include <ostream>
#include <string>

// The host's trace sink: keeps the dictionary's last message (the resolve command turns it
// into a reason) and, when asked to, echoes every message to a stream. The dictionary calls
// the sink from the thread that ran the operation, so the last message is kept per thread:
// threads resolving side by side each see their own reason.
class TraceRecorder : public CTraceSink {
public:
    explicit TraceRecorder(std::ostream* echo);

    void Trace(std::int32_t level, const char* text) override;
    // Forgets this thread's last message.
    void Clear();
    // This thread's last message from this recorder, or empty.
    const std::string& Last() const;

private:
    std::ostream* m_Echo;
};

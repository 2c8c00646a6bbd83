#include "commands/TraceRecorder.h"

namespace {

// The last message a thread received, and from which recorder.
struct LastTrace {
    const TraceRecorder* recorder = nullptr;
    std::string text;
};

LastTrace& ThreadLast() {
    thread_local LastTrace last;
    return last;
}

} // namespace

TraceRecorder::TraceRecorder(std::ostream* echo) : m_Echo(echo) {}

void TraceRecorder::Trace(std::int32_t level, const char* text) {
    LastTrace& last = ThreadLast();
    last.recorder = this;
    last.text = text != nullptr ? text : "";
    if (m_Echo != nullptr) {
        *m_Echo << "trace " << level << ": " << last.text << '\n';
    }
}

void TraceRecorder::Clear() {
    LastTrace& last = ThreadLast();
    last.recorder = this;
    last.text.clear();
}

const std::string& TraceRecorder::Last() const {
    static const std::string kNone;
    const LastTrace& last = ThreadLast();
    return last.recorder == this ? last.text : kNone;
}

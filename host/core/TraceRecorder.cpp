#include "core/TraceRecorder.h"

TraceRecorder::TraceRecorder(std::ostream* echo) : m_Echo(echo) {}

void TraceRecorder::Trace(std::int32_t level, const char* text) {
    if (m_Echo != nullptr) {
        *m_Echo << "trace " << level << ": " << (text != nullptr ? text : "") << '\n';
    }
}

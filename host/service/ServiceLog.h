#pragma once

#include <mutex>
#include <ostream>
#include <string>

// The service's messages to its operator: whole texts written one at a time, since workers,
// the file watcher and the main thread all report.
class ServiceLog {
public:
    explicit ServiceLog(std::ostream& out) : m_Out(out) {}

    // Writes the text as it stands (a line, or several), flushed.
    void Write(const std::string& text);

private:
    std::mutex m_Mutex;
    std::ostream& m_Out;
};

#include "service/ServiceLog.h"

void ServiceLog::Write(const std::string& text) {
    if (text.empty()) {
        return;
    }
    const std::lock_guard<std::mutex> lock(m_Mutex);
    m_Out << text;
    if (text.back() != '\n') {
        m_Out << '\n';
    }
    m_Out.flush();
}

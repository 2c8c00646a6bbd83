#include "service/PlcStateLog.h"

#include "text/HostText.h"

#include <algorithm>

void PlcStateLog::Check(const ProgramRegistry& registry, ServiceLog& log) {
    std::erase_if(m_Seen, [](const Seen& seen) { return seen.plc.expired(); });
    for (const auto& served : registry.Programs()) {
        const std::shared_ptr<PlcEndpoint> plc = served->Plc();
        if (!plc) {
            continue;
        }
        auto seen = std::find_if(m_Seen.begin(), m_Seen.end(),
                                 [&plc](const Seen& one) { return one.plc.lock() == plc; });
        const PlcHealth::Snapshot health = plc->Health();
        if (seen == m_Seen.end()) {
            m_Seen.push_back({plc, PlcHealth::State::Idle});
            seen = std::prev(m_Seen.end());
        }
        if (seen->state == health.state) {
            continue;
        }
        seen->state = health.state;
        const std::string& name = plc->Settings().name;
        std::string line = "PLC " + (name.empty() ? "" : TerminalText(name) + " ") + "(" +
                           plc->Target().Text() + "): " + PlcHealth::Name(health.state);
        if (health.state == PlcHealth::State::Failing && !health.lastError.empty()) {
            line += ": " + TerminalText(health.lastError);
        }
        log.Write(line);
    }
}

#include "commands/StampCommand.h"

#include "commands/ExitStatus.h"

#include <nlohmann/json.hpp>

namespace {

const char* ResultName(CSymb::Consistence result) {
    switch (result) {
    case CSymb::CONSISTENCE_OK:
        return "OK";
    case CSymb::CONSISTENCE_PARTIAL:
        return "PARTIAL";
    case CSymb::CONSISTENCE_MISMATCH:
        return "MISMATCH";
    case CSymb::CONSISTENCE_NO_STAMP:
        return "NO STAMP";
    case CSymb::CONSISTENCE_NONE:
        break;
    }
    return "NONE";
}

const char* Explanation(CSymb::Consistence result) {
    switch (result) {
    case CSymb::CONSISTENCE_OK:
        return "the same build";
    case CSymb::CONSISTENCE_PARTIAL:
        return "the same types and variables; comments or initial values differ";
    case CSymb::CONSISTENCE_MISMATCH:
        return "types or variables differ: the dictionary does not match";
    default:
        return "no stamp to compare";
    }
}

} // namespace

StampCommand::StampCommand(HostSession& built, HostSession& running)
    : m_Built(built), m_Running(running) {}

CSymb::Consistence StampCommand::Compare() {
    PLCDicoStamping record{};
    for (int i = 0; i < 7; ++i) {
        record.m_Words[i] = m_Running.Dictionary().m_Stamp[i];
    }
    return m_Built.Dictionary().CheckDicoStamp(&record);
}

int StampCommand::Run(const std::string& builtPath, const std::string& runningPath, bool json,
                      std::ostream& out) {
    const CSymb::Consistence result = Compare();
    const std::string builtStamp = m_Built.Dictionary().GetStampText();
    const std::string runningStamp = m_Running.Dictionary().GetStampText();
    if (json) {
        out << nlohmann::json{{"file", {{"path", builtPath}, {"stamp", builtStamp}}},
                              {"other", {{"path", runningPath}, {"stamp", runningStamp}}},
                              {"result", ResultName(result)}}
                   .dump(2)
            << '\n';
    } else {
        const std::size_t width = std::max(builtPath.size(), runningPath.size()) + 2;
        out << builtPath << std::string(width - builtPath.size(), ' ') << builtStamp << '\n'
            << runningPath << std::string(width - runningPath.size(), ' ') << runningStamp << '\n'
            << ResultName(result) << ": " << Explanation(result) << '\n';
    }
    const bool compatible = result == CSymb::CONSISTENCE_OK || result == CSymb::CONSISTENCE_PARTIAL;
    return compatible ? kExitDone : kExitRefused;
}

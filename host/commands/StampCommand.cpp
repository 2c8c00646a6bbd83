#include "commands/StampCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

#include <nlohmann/json.hpp>

namespace {

struct ResultText {
    const char* name;
    const char* explanation;
};

ResultText Describe(CSymb::Consistence result) {
    switch (result) {
    case CSymb::CONSISTENCE_OK:
        return {"OK", "the same build"};
    case CSymb::CONSISTENCE_PARTIAL:
        return {"PARTIAL", "the same types and variables; comments or initial values differ"};
    case CSymb::CONSISTENCE_MISMATCH:
        return {"MISMATCH", "types or variables differ: the dictionary does not match"};
    case CSymb::CONSISTENCE_NO_STAMP:
        return {"NO STAMP", "no stamp to compare"};
    case CSymb::CONSISTENCE_NONE:
        break;
    }
    return {"NONE", "no stamp to compare"};
}

} // namespace

StampCommand::StampCommand(HostSession& built, HostSession& running)
    : m_Built(built), m_Running(running) {}

const char* StampCommand::ResultName(CSymb::Consistence result) {
    return Describe(result).name;
}

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
    const ResultText text = Describe(result);
    const std::string builtStamp = m_Built.Dictionary().GetStampText();
    const std::string runningStamp = m_Running.Dictionary().GetStampText();
    if (json) {
        out << nlohmann::json{{"file", {{"path", builtPath}, {"stamp", builtStamp}}},
                              {"other", {{"path", runningPath}, {"stamp", runningStamp}}},
                              {"result", text.name}}
                   .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
    } else {
        const std::string built = TerminalText(builtPath);
        const std::string running = TerminalText(runningPath);
        const std::size_t width = std::max(built.size(), running.size()) + 2;
        out << built << std::string(width - built.size(), ' ') << builtStamp << '\n'
            << running << std::string(width - running.size(), ' ') << runningStamp << '\n'
            << text.name << ": " << text.explanation << '\n';
    }
    const bool compatible = result == CSymb::CONSISTENCE_OK || result == CSymb::CONSISTENCE_PARTIAL;
    return compatible ? kExitDone : kExitRefused;
}

#include "commands/StampCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

#include <nlohmann/json.hpp>

#include <charconv>

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

const char* StampCommand::ResultName(CSymb::Consistence result) {
    return Describe(result).name;
}

bool StampCommand::ParseStampText(const std::string& text, PLCDicoStamping& record) {
    record = {};
    std::size_t start = 0;
    for (int word = 0; word < 5; ++word) {
        const std::size_t end = word < 4 ? text.find(':', start) : text.size();
        if (end == std::string::npos || end == start || end - start > 8) {
            return false;
        }
        std::uint32_t value = 0;
        const char* first = text.data() + start;
        const char* last = text.data() + end;
        const auto [stop, error] = std::from_chars(first, last, value, 16);
        if (error != std::errc() || stop != last || *first == '+' || *first == '-') {
            return false;
        }
        record.m_Words[word] = value;
        start = end + 1;
    }
    return true;
}

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

#include "values/WriteCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

WriteCommand::WriteCommand(ValueAccess& access) : m_Access(access) {}

int WriteCommand::Run(const std::vector<std::string>& assignments, bool json, std::ostream& out,
                      std::ostream& err) {
    for (const std::string& assignment : assignments) {
        if (assignment.find('=') == std::string::npos) {
            err << "write: '" << TerminalText(assignment) << "' is not NAME=VALUE\n";
            return kExitBadInput;
        }
    }
    nlohmann::json results = nlohmann::json::array();
    bool allWritten = true;
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        const std::string value = assignment.substr(equals + 1);
        nlohmann::json result = m_Access.Write(assignment.substr(0, equals), value);
        allWritten = allWritten && result["error"].is_null();
        if (!json) {
            out << TerminalText(result["error"].is_null()
                                    ? result["name"].get<std::string>() + " = " + value +
                                          ": written"
                                    : "error: " + result["error"].get<std::string>())
                << '\n';
        }
        results.push_back(std::move(result));
    }
    if (json) {
        out << nlohmann::json{{"values", results}}.dump(2, ' ', false,
                                                        nlohmann::json::error_handler_t::replace)
            << '\n';
    }
    return allWritten ? kExitDone : kExitRefused;
}

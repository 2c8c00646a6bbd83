#include "cli/WriteCommand.h"

#include "cli/ExitStatus.h"
#include "core/ValueAccess.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

int WriteCommand::Run(const Program& program, const std::vector<std::string>& assignments,
                      OutputFormat format, std::ostream& out, std::ostream& err) {
    std::vector<std::pair<std::string, Value>> items;
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            err << "write: '" << TerminalText(assignment) << "' is not NAME=VALUE\n";
            return kExitBadInput;
        }
        items.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
    }
    const WriteOutcome outcome = program.Values().Write(items);
    nlohmann::json results = nlohmann::json::array();
    for (std::size_t i = 0; i < items.size(); ++i) {
        const ValueResult& result = outcome.results[i];
        if (format == OutputFormat::Json) {
            results.push_back(CoreJson::ValueWritten(result));
        } else if (result.Ok()) {
            out << TerminalText(result.name + " = " + items[i].second.AsText() + ": written")
                << '\n';
        } else {
            out << TerminalText("error: " + CoreJson::Error(result).get<std::string>()) << '\n';
        }
    }
    if (format == OutputFormat::Json) {
        out << CoreJson::Text({{"values", results}, {"written", outcome.Complete()}}) << '\n';
    }
    return outcome.Complete() ? kExitDone : kExitRefused;
}

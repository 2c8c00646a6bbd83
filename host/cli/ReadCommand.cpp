#include "cli/ReadCommand.h"

#include "cli/ExitStatus.h"
#include "cli/ValueLine.h"
#include "core/ValueAccess.h"
#include "text/HostText.h"
#include "json/CoreJson.h"

namespace {

// "Motor1.Speed = 0 (INT)", or the error.
std::string Describe(const ValueResult& result) {
    if (!result.Ok()) {
        return TerminalText("error: " + CoreJson::Error(result).get<std::string>());
    }
    return ValueLine::Describe(result);
}

} // namespace

int ReadCommand::Run(const Program& program, const std::vector<std::string>& names,
                     OutputFormat format, std::ostream& out) {
    const std::vector<ValueResult> results = program.Values().ReadMany(names);
    bool allRead = true;
    nlohmann::json values = nlohmann::json::array();
    for (const ValueResult& result : results) {
        allRead = allRead && result.Ok();
        if (format == OutputFormat::Json) {
            values.push_back(CoreJson::ValueRead(result));
        } else {
            out << Describe(result) << '\n';
        }
    }
    if (format == OutputFormat::Json) {
        out << CoreJson::Text({{"values", values}}) << '\n';
    }
    return allRead ? kExitDone : kExitRefused;
}

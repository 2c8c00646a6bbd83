#include "values/ReadCommand.h"

#include "commands/ExitStatus.h"
#include "import/NameText.h"

namespace {

std::string Compact(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

ReadCommand::ReadCommand(ValueAccess& access) : m_Access(access) {}

int ReadCommand::Run(const std::vector<std::string>& names, bool json, std::ostream& out) {
    const std::vector<nlohmann::json> results = m_Access.ReadMany(names);
    bool allRead = true;
    for (const nlohmann::json& result : results) {
        allRead = allRead && result["error"].is_null();
        if (!json) {
            out << Describe(result) << '\n';
        }
    }
    if (json) {
        out << nlohmann::json{{"values", results}}.dump(2, ' ', false,
                                                        nlohmann::json::error_handler_t::replace)
            << '\n';
    }
    return allRead ? kExitDone : kExitRefused;
}

std::string ReadCommand::Describe(const nlohmann::json& result) {
    if (!result["error"].is_null()) {
        return TerminalText("error: " + result["error"].get<std::string>());
    }
    std::string text = result["name"].get<std::string>() + " = " + Compact(result["value"]) + " (" +
                       result["type"].get<std::string>();
    if (result.contains("milliseconds")) {
        text += ", " + Compact(result["milliseconds"]) + " ms";
    }
    return TerminalText(text + ")");
}

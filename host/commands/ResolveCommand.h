#pragma once

#include "commands/HostSession.h"

#include <Varbank.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// varbank resolve: turns item names into their physical positions through SearchAndGetFF.
class ResolveCommand {
public:
    explicit ResolveCommand(HostSession& session);

    // One line (or JSON object) per name, in order; kExitRefused when any name was refused.
    int Run(const std::vector<std::string>& names, bool json, std::ostream& out);
    // The resolution of one name: the record, type and comment; or the refusal and its reason.
    struct Result {
        std::string name; // as asked, each bad UTF-8 sequence replaced
        bool resolved = false;
        std::string reason; // why it was refused
        std::string address;
        std::string comment;
        ImplemRecord record{};
        std::optional<std::string> typeName; // the properties the list holds
        std::optional<std::string> kind;
        std::optional<std::string> info;
    };
    Result Find(const std::string& name);
    // The same as JSON: position, type, comment; or the refusal and its reason.
    nlohmann::json Resolve(const std::string& name);
    static nlohmann::json ToJson(const Result& result);
    static std::string Describe(const nlohmann::json& result);
    // Why the dictionary refused a name, from its status and this thread's last trace.
    static std::string RefusalReason(HRESULT status, const std::string& trace);

private:
    HostSession& m_Session;
};

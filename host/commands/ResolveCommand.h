#pragma once

#include "commands/HostSession.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

// varbank resolve: turns item names into their physical positions through SearchAndGetFF.
class ResolveCommand {
public:
    explicit ResolveCommand(HostSession& session);

    // One line (or JSON object) per name, in order; kExitRefused when any name was refused.
    int Run(const std::vector<std::string>& names, bool json, std::ostream& out);
    // The resolution of one name: position, type, comment; or the refusal and its reason.
    nlohmann::json Resolve(const std::string& name);
    static std::string Describe(const nlohmann::json& result);
    // Why the dictionary refused a name, from its status and this thread's last trace.
    static std::string RefusalReason(HRESULT status, const std::string& trace);

private:
    HostSession& m_Session;
};

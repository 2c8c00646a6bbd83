#pragma once

#include "commands/HostSession.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

// varbank info: what the dictionary holds, counted from the dictionary itself under its lock.
class InfoCommand {
public:
    explicit InfoCommand(HostSession& session);

    int Run(const std::string& path, bool json, std::ostream& out);
    nlohmann::json Collect(const std::string& path);

private:
    HostSession& m_Session;
};

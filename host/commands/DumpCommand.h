#pragma once

#include "commands/HostSession.h"

#include <ostream>
#include <string>

// varbank dump: writes the dictionary's quick-save dump into a directory.
class DumpCommand {
public:
    explicit DumpCommand(HostSession& session);

    int Run(const std::string& directory, bool json, std::ostream& out, std::ostream& err);

private:
    HostSession& m_Session;
};

#pragma once

#include "commands/HostSession.h"
#include "commands/StagingDirectory.h"

#include <ostream>
#include <string>

// varbank dump: writes the dictionary's quick-save dump into a directory. The session's
// dictionary writes into a private folder there; only a complete file is renamed into place,
// so a failed dump leaves the previous one whole.
class DumpCommand {
public:
    explicit DumpCommand(HostSession& session);

    int Run(StagingDirectory& staging, const std::string& directory, bool json, std::ostream& out,
            std::ostream& err);
    // Writes the dump into the staging folder and publishes it into the staging's target;
    // false with the reason when the file is not in place.
    bool Write(StagingDirectory& staging, std::string& reason);

private:
    HostSession& m_Session;
};

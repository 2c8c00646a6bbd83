#pragma once

#include "core/Program.h"
#include "service/ServedProgram.h"
#include "service/ServiceApi.h"

#include <ostream>
#include <string>
#include <vector>

// varbank serve: keeps the dictionaries of PLCopen files loaded and answers clients over
// HTTP/JSON until SIGINT or SIGTERM. Files that change are imported again in the background.
class ServeCommand {
public:
    struct Options {
        std::vector<std::string> paths; // files, or folders of *.xml files
        std::string bind = "127.0.0.1";
        int port = 8080;
        unsigned threads = 0; // 0: one per core
        unsigned watchMilliseconds = 1000;
        bool verbose = false;
        std::vector<std::string> allowedHosts; // host names answered to besides addresses
        std::size_t maxConnections = 0;        // 0: from the descriptor limit
        std::size_t maxSubscriptions = ServiceApi::kMaxSubscriptions; // streams, service-wide
        ProgramOptions programs; // strictness, and where the values are
        ServiceApi::WritePolicy writes;
        int opcuaPort = -1;      // the OPC UA server's port (0: any free one); -1: none
        std::string stateFolder; // what the service makes and keeps; "": the user's default
        std::string mqtt;        // HOST[:PORT] of a broker: every located variable published
    };

    ServeCommand(Options options, std::ostream& out, std::ostream& err);

    // The exit status (see ExitStatus.h).
    int Run();

private:
    Options m_Options;
    std::ostream& m_Out;
    std::ostream& m_Err;
};

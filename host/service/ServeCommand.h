#pragma once

#include "config/PlantConfig.h"
#include "core/Program.h"
#include "service/HttpService.h"
#include "service/ServedProgram.h"
#include "service/ServiceApi.h"
#include "service/WritePolicy.h"

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class MqttPublisher;
class PlantService;
class ServiceLog;
class ProgramRegistry;

// varbank serve: keeps the dictionaries of PLCopen files loaded and answers clients over
// HTTP/JSON until SIGINT or SIGTERM. Files that change are imported again in the background.
class ServeCommand {
public:
    struct Options {
        std::vector<std::string> paths; // files, or folders of *.xml files
        std::string config;             // a plant's configuration, instead of the paths
        std::string bind = "127.0.0.1"; // with a configuration: its own, unless given here
        int port = 8080;
        bool bindGiven = false;
        bool portGiven = false;
        unsigned threads = 0;                                  // 0: one per core
        unsigned pollMicroseconds = HttpService::kDefaultPoll; // awake after a request
        unsigned watchMilliseconds = 1000;
        bool verbose = false;
        std::vector<std::string> allowedHosts; // host names answered to besides addresses
        std::size_t maxConnections = 0;        // 0: from the descriptor limit
        std::size_t maxSubscriptions = ServiceApi::kMaxSubscriptions; // streams, service-wide
        ProgramOptions programs; // strictness, and where the values are
        WritePolicy writes;      // of the paths' programs
        int opcuaPort = -1;      // the OPC UA server's port (0: any free one); -1: none
        std::string stateFolder; // what the service makes and keeps; "": the user's default
        std::string mqtt;        // HOST[:PORT] of a broker: every located variable published
    };

    ServeCommand(Options options, std::ostream& out, std::ostream& err);

    // The exit status (see ExitStatus.h).
    int Run();

private:
    // The programs of the paths, or of the configuration (then followed by `plant`); false
    // with the reasons written when they cannot be served.
    bool Load(ProgramRegistry& registry, std::unique_ptr<PlantService>& plant);

    Options m_Options;
    std::string m_ReadToken;
    // The publisher of [mqtt] or --mqtt; null when none is asked (or, with the reason in
    // `error`, when it cannot start).
    std::unique_ptr<MqttPublisher> StartMqtt(const ProgramRegistry& registry, ServiceLog& log,
                                             std::string& error) const;

    bool m_OnPlc = false;                // some program's values live in a PLC
    std::optional<PlantConfig> m_Config; // as the service started, with --config
    std::ostream& m_Out;
    std::ostream& m_Err;
};

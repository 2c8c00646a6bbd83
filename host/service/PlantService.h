#pragma once

#include "config/PlantConfig.h"
#include "service/FileSignature.h"
#include "service/ProgramRegistry.h"

#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

class PlcEndpoint;

// Serves what a plant's configuration file names and follows the file while the service runs:
// programs and PLC endpoints added, changed or removed there are applied without a restart. A
// file with an error leaves the running configuration in service; the error goes to the log
// and to the registry, which shows it to clients. Programs that name one endpoint share one
// connection to it, kept across changes that leave the endpoint's own settings alone.
class PlantService {
public:
    PlantService(std::string file, ProgramRegistry& registry, bool strict);
    ~PlantService();
    PlantService(const PlantService&) = delete;
    PlantService& operator=(const PlantService&) = delete;

    // Reads the file and serves it; nothing, with every error written to `errors`, when it
    // does not read.
    std::optional<PlantConfig> Start(std::ostream& errors);
    // Reads the file again once it changed and then stayed as it is for one look (so that a
    // file caught half written, which may read as a smaller plant, is never applied), and
    // applies it; true when it did. One caller at a time, the registry's refreshing one.
    bool Follow(std::ostream& log);
    // The configuration in service: the last one applied (Follow's caller).
    const PlantConfig& Config() const { return m_Config; }

private:
    std::optional<PlantConfig> Read(std::string& errors) const;
    void Apply(const PlantConfig& config, std::ostream& log);
    ProgramRegistry::Entry EntryOf(const PlantConfig& config, const PlantConfig::Program& program);
    std::shared_ptr<PlcEndpoint> Endpoint(const PlantConfig::Plc& plc);

    std::string m_File;
    ProgramRegistry& m_Registry;
    bool m_Strict;
    FileSignature m_Seen;           // of the file last read
    FileSignature m_Changed;        // of the file seen changed at the last look, not read yet
    PlantConfig::Service m_Service; // as the service started: later changes wait for a restart
    PlantConfig m_Config;
    // Each endpoint by name, with the text of the settings it was made with.
    std::map<std::string, std::pair<std::string, std::shared_ptr<PlcEndpoint>>> m_Endpoints;
};

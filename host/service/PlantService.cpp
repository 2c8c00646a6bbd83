#include "service/PlantService.h"

#include "config/PlantConfigReader.h"
#include "text/HostText.h"
#include "values/PlcEndpoint.h"

#include <sstream>

namespace {

// What a connection to the PLC is made with: a change makes a new one.
std::string ConnectionSettings(const PlantConfig::Plc& plc) {
    std::ostringstream text;
    text << plc.target.Text() << ' ' << plc.timeout.count() << ' ' << plc.retries << ' '
         << plc.minInterval.count();
    return text.str();
}

// Everything of an endpoint a program's memory depends on.
std::string MemorySettings(const PlantConfig::Plc& plc) {
    std::ostringstream text;
    text << ConnectionSettings(plc) << ' ' << plc.map.Name();
    for (std::size_t i = 0; i < RegisterMap::kAreaCount; ++i) {
        const auto base = plc.map.Base(static_cast<RegisterMap::Area>(i));
        text << (base ? ' ' + std::to_string(*base) : std::string(" -"));
    }
    text << ' ' << static_cast<int>(plc.wordOrder) << ' ' << plc.maxRegisters << ' '
         << plc.maxCoils;
    return text.str();
}

bool SameService(const PlantConfig::Service& a, const PlantConfig::Service& b) {
    return a.bind == b.bind && a.port == b.port && a.readToken.value == b.readToken.value;
}

} // namespace

PlantService::PlantService(std::string file, ProgramRegistry& registry, bool strict)
    : m_File(std::move(file)), m_Registry(registry), m_Strict(strict) {}

PlantService::~PlantService() = default;

std::optional<PlantConfig> PlantService::Read(std::string& errors) const {
    Diagnostics report(TerminalText(m_File));
    std::optional<PlantConfig> config = PlantConfigReader().Read(m_File, report);
    std::ostringstream text;
    report.Print(text);
    errors = text.str();
    return config;
}

std::optional<PlantConfig> PlantService::Start(std::ostream& errors) {
    m_Seen = FileSignature::Of(m_File);
    std::string reasons;
    std::optional<PlantConfig> config = Read(reasons);
    errors << reasons;
    if (!config) {
        return std::nullopt;
    }
    m_Service = config->service;
    std::ostringstream log;
    Apply(*config, log); // every program is new: nothing worth telling
    return config;
}

bool PlantService::Follow(std::ostream& log) {
    const FileSignature signature = FileSignature::Of(m_File);
    if (signature == m_Seen) {
        return false;
    }
    if (!(signature == m_Changed)) {
        m_Changed = signature; // still being written, maybe: read it at the next look
        return false;
    }
    m_Seen = signature;
    std::string errors;
    const std::optional<PlantConfig> config = Read(errors);
    if (!config) {
        while (!errors.empty() && errors.back() == '\n') {
            errors.pop_back();
        }
        log << errors << '\n'
            << TerminalText(m_File) << " has errors; the configuration before stays in service\n";
        m_Registry.SetConfigError(errors.empty() ? TerminalText(m_File) + ": does not read"
                                                 : errors);
        return false;
    }
    log << TerminalText(m_File) << " changed; applying it\n" << errors;
    m_Registry.SetConfigError({});
    if (!SameService(config->service, m_Service)) {
        log << TerminalText(m_File)
            << ": the service's address and read token change at the next start\n";
    }
    Apply(*config, log);
    return true;
}

void PlantService::Apply(const PlantConfig& config, std::ostream& log) {
    std::vector<ProgramRegistry::Entry> entries;
    entries.reserve(config.programs.size());
    for (const PlantConfig::Program& program : config.programs) {
        entries.push_back(EntryOf(config, program));
    }
    // Endpoints no longer named go once their programs let them go.
    for (auto it = m_Endpoints.begin(); it != m_Endpoints.end();) {
        it = config.FindPlc(it->first) == nullptr ? m_Endpoints.erase(it) : std::next(it);
    }
    m_Registry.Replace(entries, log);
    m_Config = config;
}

ProgramRegistry::Entry PlantService::EntryOf(const PlantConfig& config,
                                             const PlantConfig::Program& program) {
    ProgramRegistry::Entry entry;
    entry.name = program.dictionary;
    entry.path = program.file.string();
    entry.options.strict = m_Strict;
    entry.writes = {program.writable,
                    program.writable ? config.WriteTokenOf(program).value : std::string()};
    std::string memory = "image";
    if (const PlantConfig::Plc* plc = program.OnImage() ? nullptr : config.FindPlc(program.plc)) {
        entry.options.memory.kind = MemoryKind::Modbus;
        entry.options.memory.modbus = plc->MemoryOptions();
        entry.options.memory.modbus.endpoint = Endpoint(*plc);
        memory = plc->name + ' ' + MemorySettings(*plc);
    }
    // The token is part of the settings only as a change, never as text anyone sees.
    entry.settings = entry.path + '\n' + memory + '\n' + (entry.writes.writable ? "w" : "r") +
                     std::to_string(std::hash<std::string>{}(entry.writes.token));
    return entry;
}

std::shared_ptr<PlcEndpoint> PlantService::Endpoint(const PlantConfig::Plc& plc) {
    const std::string settings = ConnectionSettings(plc);
    auto found = m_Endpoints.find(plc.name);
    if (found != m_Endpoints.end() && found->second.first == settings) {
        return found->second.second;
    }
    PlcEndpoint::Options options;
    options.target = plc.target;
    options.timeout = plc.timeout;
    options.name = plc.name;
    options.retries = plc.retries;
    options.minInterval = plc.minInterval;
    auto endpoint = std::make_shared<PlcEndpoint>(options);
    m_Endpoints[plc.name] = {settings, endpoint};
    return endpoint;
}

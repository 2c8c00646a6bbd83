#include "service/ServeCommand.h"

#include "cli/ExitStatus.h"
#include "mqtt/MqttPublisher.h"
#include "service/DescriptorLimit.h"
#include "service/HttpService.h"
#include "service/OpcuaProcess.h"
#include "service/PlantService.h"
#include "service/ProgramRegistry.h"
#include "service/ProgramWatcher.h"
#include "service/ServiceApi.h"
#include "service/ServiceLog.h"
#include "service/StopSignals.h"

#include "text/HostText.h"

#include <sys/select.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

namespace {

std::string Url(const std::string& bind, int port) {
    const bool ipv6 = bind.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + bind + "]" : bind) + ":" + std::to_string(port) + "/";
}

// Where a process on this machine reaches the service: its address, or loopback when it
// listens on every address.
std::string LoopbackUrl(const std::string& bind, int port) {
    if (bind == "0.0.0.0" || bind.empty()) {
        return Url("127.0.0.1", port);
    }
    if (bind == "::") {
        return Url("::1", port);
    }
    return Url(bind, port);
}

// The broker of --mqtt HOST[:PORT]; nothing, with the reason, when malformed.
std::optional<PlantConfig::Mqtt> MqttBroker(const std::string& text, std::string& error) {
    PlantConfig::Mqtt broker;
    const std::size_t colon = text.rfind(':');
    broker.host = text.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string port = text.substr(colon + 1);
        int number = 0;
        const auto [end, fault] = std::from_chars(port.data(), port.data() + port.size(), number);
        if (fault != std::errc() || end != port.data() + port.size() || number < 1 ||
            number > 65535) {
            error = "--mqtt '" + text + "': the port after ':' is a number from 1 to 65535";
            return std::nullopt;
        }
        broker.port = static_cast<std::uint16_t>(number);
    }
    if (broker.host.empty() || broker.host.find_first_of(" \t/") != std::string::npos) {
        error = "--mqtt '" + text + "' is not HOST[:PORT]";
        return std::nullopt;
    }
    return broker;
}

// What the publisher sees of a served program: its sampler and the program in service.
// The publisher holds the program as long as it publishes it.
MqttSource PublishedProgram(const std::shared_ptr<ServedProgram>& served,
                            PlantConfig::Publish publish) {
    return {served->Name(), [served] { return served->Current(); }, served->Subscriptions(),
            std::move(publish), served->Writes().writable};
}

// The programs of the plant that say what they publish, as served now.
std::vector<MqttSource> PlantSources(const PlantConfig& config, const ProgramRegistry& registry) {
    std::vector<MqttSource> sources;
    for (const PlantConfig::Program& program : config.programs) {
        const std::shared_ptr<ServedProgram> served = registry.Find(program.dictionary);
        if (served && program.publish.Any()) {
            sources.push_back(PublishedProgram(served, program.publish));
        }
    }
    return sources;
}

} // namespace

ServeCommand::ServeCommand(Options options, std::ostream& out, std::ostream& err)
    : m_Options(std::move(options)), m_Out(out), m_Err(err) {}

int ServeCommand::Run() {
    std::string missing;
    if (m_Options.opcuaPort >= 0 && !OpcuaProcess::Check(missing)) {
        m_Err << "serve: " << missing << '\n';
        return kExitRefused;
    }
    ProgramRegistry registry(m_Options.programs, m_Options.writes);
    std::unique_ptr<PlantService> plant;
    if (!Load(registry, plant)) {
        return kExitBadInput;
    }
    ServiceLog log(m_Err);
    std::ostringstream messages;
    registry.RefreshAll(messages);
    log.Write(messages.str());

    StopSignals signals; // before any thread starts, so that every thread inherits it
    HttpService::Options http{m_Options.bind,    m_Options.port,         m_Options.threads,
                              m_Options.verbose, m_Options.allowedHosts, m_Options.maxConnections};
    http.poll = std::chrono::microseconds(m_Options.pollMicroseconds);
    if (http.threads == 0) {
        http.threads = std::max(1U, std::thread::hardware_concurrency());
    }
    // As many workers for heavy requests as connection threads.
    ServiceApi api(registry, m_ReadToken, http.threads, m_Options.maxSubscriptions);
    const std::size_t descriptors = DescriptorLimit::Raise();
    if (http.maxConnections == 0) {
        // With a PLC, connections stay few enough that its socket gets a descriptor below
        // FD_SETSIZE: libmodbus waits on it with select().
        http.maxConnections = DescriptorLimit::Connections(
            m_OnPlc ? std::min<std::size_t>(descriptors, FD_SETSIZE) : descriptors);
    }
    log.Write("at most " + std::to_string(http.maxConnections) + " connections (" +
              std::to_string(descriptors) + " descriptors)");
    HttpService service(api, log, http);
    std::string reason;
    const int port = service.Bind(reason);
    if (port < 0) {
        m_Err << "serve: " << reason << '\n';
        return kExitRefused;
    }
    std::string error;
    std::unique_ptr<MqttPublisher> mqtt = StartMqtt(registry, log, error);
    if (!error.empty()) {
        m_Err << "serve: " << error << '\n';
        return kExitBadInput;
    }
    api.SetPublisher(mqtt.get());
    ProgramWatcher::Step follow;
    if (plant) {
        // The publisher follows the programs as the configuration leaves them.
        follow = [&plant, &registry, &mqtt, told = false](std::ostream& messages) mutable {
            if (!plant->Follow(messages)) {
                return;
            }
            const PlantConfig& config = plant->Config();
            if (mqtt) {
                mqtt->Follow(config.mqtt, PlantSources(config, registry));
            } else if (config.mqtt && !std::exchange(told, true)) {
                messages << "mqtt: [mqtt] added to the configuration; the publisher starts at "
                            "the next start\n";
            }
        };
    }
    std::optional<ProgramWatcher> watcher;
    watcher.emplace(registry, std::chrono::milliseconds(m_Options.watchMilliseconds), log, follow);
    signals.Watch([&service] { service.Stop(); }, log);
    const std::size_t served = registry.Programs().size();
    m_Out << "serving " << served << " dictionar" << (served == 1 ? "y" : "ies") << " at "
          << Url(m_Options.bind, port) << std::endl;
    OpcuaProcess opcua(log);
    std::atomic<bool> opcuaFailed{false}; // it did not start, or ended on its own
    std::thread front; // starts the OPC UA server, which reads the service while it starts
    if (m_Options.opcuaPort >= 0) {
        front = std::thread([&] {
            OpcuaProcess::Options options;
            options.serviceUrl = LoopbackUrl(m_Options.bind, port);
            options.port = m_Options.opcuaPort;
            options.host = m_Options.bind;
            options.stateFolder = m_Options.stateFolder;
            if (m_Options.writes.writable) {
                options.writeToken = m_Options.writes.token;
            }
            options.readToken = m_ReadToken;
            std::string line;
            std::string reason;
            const auto ended = [&service, &opcuaFailed] {
                opcuaFailed = true;
                service.Stop();
            };
            if (opcua.Start(options, ended, line, reason)) {
                m_Out << line << std::endl;
                return;
            }
            log.Write("serve: " + reason);
            opcuaFailed = true;
            service.Stop();
        });
    }
    service.Serve();
    api.SetPublisher(nullptr);
    watcher.reset(); // it may be handing the publisher a changed configuration
    mqtt.reset();    // the broker publishes the offline state
    if (front.joinable()) {
        front.join();
    }
    opcua.Stop();
    signals.Join(); // its stop call may still be leaving the service
    log.Write("stopped");
    return opcuaFailed ? kExitRefused : kExitDone;
}

bool ServeCommand::Load(ProgramRegistry& registry, std::unique_ptr<PlantService>& plant) {
    if (m_Options.config.empty()) {
        for (const std::string& path : m_Options.paths) {
            std::string reason;
            if (!registry.Add(path, reason)) {
                m_Err << "serve: " << reason << '\n';
                return false;
            }
        }
        m_OnPlc = m_Options.programs.memory.kind == MemoryKind::Modbus;
        return true;
    }
    plant = std::make_unique<PlantService>(m_Options.config, registry, m_Options.programs.strict);
    std::optional<PlantConfig> config = plant->Start(m_Err);
    if (!config) {
        m_Err << "serve: " << TerminalText(m_Options.config)
              << " is not a configuration to serve\n";
        return false;
    }
    if (!m_Options.bindGiven) {
        m_Options.bind = config->service.bind;
    }
    if (!m_Options.portGiven) {
        m_Options.port = config->service.port;
    }
    m_ReadToken = config->service.readToken.value;
    m_Options.writes = {config->service.writeToken.Given(), config->service.writeToken.value};
    m_OnPlc = !config->plcs.empty();
    m_Config = std::move(config);
    return true;
}

std::unique_ptr<MqttPublisher> ServeCommand::StartMqtt(const ProgramRegistry& registry,
                                                       ServiceLog& log, std::string& error) const {
    std::optional<PlantConfig::Mqtt> broker;
    std::vector<MqttSource> sources;
    if (m_Config) {
        // The plant's [mqtt], for the programs that say what they publish: started even when
        // none does yet, so that one the configuration adds later is published.
        broker = m_Config->mqtt;
        if (!broker) {
            return nullptr;
        }
        sources = PlantSources(*m_Config, registry);
    } else if (!m_Options.mqtt.empty()) {
        // --mqtt: every located variable of every program.
        broker = MqttBroker(m_Options.mqtt, error);
        PlantConfig::Publish publish;
        publish.items = {"located"};
        for (const auto& served : registry.Programs()) {
            sources.push_back(PublishedProgram(served, publish));
        }
    }
    if (!broker || (sources.empty() && !m_Config)) {
        return nullptr;
    }
    std::unique_ptr<MqttPublisher> publisher = MqttPublisher::Start(
        *broker, std::move(sources), [&log](const std::string& line) { log.Write(line); }, error);
    if (!publisher && error.empty()) {
        error = "the MQTT publisher did not start";
    }
    return publisher;
}

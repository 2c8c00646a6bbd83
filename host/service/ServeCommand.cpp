#include "service/ServeCommand.h"

#include "cli/ExitStatus.h"
#include "mqtt/MqttPublisher.h"
#include "service/DescriptorLimit.h"
#include "service/HttpService.h"
#include "service/OpcuaProcess.h"
#include "service/ProgramRegistry.h"
#include "service/ProgramWatcher.h"
#include "service/ServiceApi.h"
#include "service/ServiceLog.h"
#include "service/StopSignals.h"

#include <sys/select.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <optional>
#include <sstream>
#include <thread>

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
MqttSource PublishedProgram(ServedProgram& served, PlantConfig::Publish publish, bool writable) {
    return {served.Name(), [&served] { return served.Current(); }, served.Subscriptions(),
            std::move(publish), writable};
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
    ProgramRegistry registry(m_Options.programs);
    for (const std::string& path : m_Options.paths) {
        std::string reason;
        if (!registry.Add(path, reason)) {
            m_Err << "serve: " << reason << '\n';
            return kExitBadInput;
        }
    }
    ServiceLog log(m_Err);
    std::ostringstream messages;
    registry.RefreshAll(messages);
    log.Write(messages.str());

    StopSignals signals; // before any thread starts, so that every thread inherits it
    HttpService::Options http{m_Options.bind,    m_Options.port,         m_Options.threads,
                              m_Options.verbose, m_Options.allowedHosts, m_Options.maxConnections};
    if (http.threads == 0) {
        http.threads = std::max(1U, std::thread::hardware_concurrency());
    }
    // As many workers for heavy requests as connection threads.
    ServiceApi api(registry, m_Options.writes, http.threads, m_Options.maxSubscriptions);
    const std::size_t descriptors = DescriptorLimit::Raise();
    if (http.maxConnections == 0) {
        // With a PLC, connections stay few enough that its socket gets a descriptor below
        // FD_SETSIZE: libmodbus waits on it with select().
        const bool plc = m_Options.programs.memory.kind == MemoryKind::Modbus;
        http.maxConnections = DescriptorLimit::Connections(
            plc ? std::min<std::size_t>(descriptors, FD_SETSIZE) : descriptors);
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
    // --mqtt: every located variable of every program to the broker; writes from it when the
    // service is writable. (The plant file's [mqtt] gives the same with its own settings.)
    std::unique_ptr<MqttPublisher> mqtt;
    if (!m_Options.mqtt.empty()) {
        std::string error;
        const auto broker = MqttBroker(m_Options.mqtt, error);
        std::vector<MqttSource> sources;
        for (const auto& served : registry.Programs()) {
            PlantConfig::Publish publish;
            publish.items = {"located"};
            sources.push_back(PublishedProgram(*served, publish, m_Options.writes.writable));
        }
        if (broker) {
            mqtt = MqttPublisher::Start(
                *broker, std::move(sources), [&log](const std::string& line) { log.Write(line); },
                error);
        }
        if (!mqtt) {
            m_Err << "serve: " << error << '\n';
            return kExitBadInput;
        }
    }
    const ProgramWatcher watcher(registry, std::chrono::milliseconds(m_Options.watchMilliseconds),
                                 log);
    signals.Watch([&service] { service.Stop(); }, log);
    m_Out << "serving " << registry.Programs().size() << " dictionar"
          << (registry.Programs().size() == 1 ? "y" : "ies") << " at " << Url(m_Options.bind, port)
          << std::endl;
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
    mqtt.reset(); // the broker publishes the offline state
    if (front.joinable()) {
        front.join();
    }
    opcua.Stop();
    signals.Join(); // its stop call may still be leaving the service
    log.Write("stopped");
    return opcuaFailed ? kExitRefused : kExitDone;
}

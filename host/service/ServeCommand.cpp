#include "service/ServeCommand.h"

#include "cli/ExitStatus.h"
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
    ProgramWatcher::Step follow;
    if (plant) {
        follow = [&plant](std::ostream& messages) { plant->Follow(messages); };
    }
    const ProgramWatcher watcher(registry, std::chrono::milliseconds(m_Options.watchMilliseconds),
                                 log, follow);
    signals.Watch([&service] { service.Stop(); }, log);
    const std::size_t served = registry.Programs().size();
    m_Out << "serving " << served << " dictionar" << (served == 1 ? "y" : "ies") << " at "
          << Url(m_Options.bind, port)
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
    const std::optional<PlantConfig> config = plant->Start(m_Err);
    if (!config) {
        m_Err << "serve: " << TerminalText(m_Options.config) << " is not a configuration to serve\n";
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
    return true;
}

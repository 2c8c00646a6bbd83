#include "service/ServeCommand.h"

#include "commands/ExitStatus.h"
#include "service/HttpService.h"
#include "service/ProgramRegistry.h"
#include "service/ProgramWatcher.h"
#include "service/ServiceApi.h"
#include "service/ServiceLog.h"

#include <atomic>
#include <csignal>
#include <ctime>
#include <sstream>
#include <thread>

namespace {

// SIGINT and SIGTERM are blocked in every thread of the service and taken by one waiting
// thread, which stops the server; the blocking is undone when the service ends.
class StopSignals {
public:
    StopSignals() {
        sigemptyset(&m_Set);
        sigaddset(&m_Set, SIGINT);
        sigaddset(&m_Set, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &m_Set, &m_Previous);
    }
    ~StopSignals() {
        m_Done = true;
        if (m_Thread.joinable()) {
            m_Thread.join();
        }
        // A second signal during the stop is taken here rather than ending the process.
        const timespec none{0, 0};
        while (sigtimedwait(&m_Set, nullptr, &none) > 0) {
        }
        pthread_sigmask(SIG_SETMASK, &m_Previous, nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Calls stop (once) when a signal comes.
    template <class Stop> void Watch(Stop stop, ServiceLog& log) {
        m_Thread = std::thread([this, stop, &log] {
            const timespec pause{0, 100 * 1000 * 1000};
            while (!m_Done) {
                const int signal = sigtimedwait(&m_Set, nullptr, &pause);
                if (signal > 0) {
                    log.Write(std::string("stopping on ") +
                              (signal == SIGINT ? "SIGINT" : "SIGTERM") +
                              "; requests in progress finish");
                    stop();
                    return;
                }
            }
        });
    }

private:
    sigset_t m_Set{};
    sigset_t m_Previous{};
    std::atomic<bool> m_Done{false};
    std::thread m_Thread;
};

std::string Url(const std::string& bind, int port) {
    const bool ipv6 = bind.find(':') != std::string::npos;
    return "http://" + (ipv6 ? "[" + bind + "]" : bind) + ":" + std::to_string(port) + "/";
}

} // namespace

ServeCommand::ServeCommand(Options options, std::ostream& out, std::ostream& err)
    : m_Options(std::move(options)), m_Out(out), m_Err(err) {}

int ServeCommand::Run() {
    ProgramRegistry registry(m_Options.strict);
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
    ServiceApi api(registry);
    HttpService::Options http{m_Options.bind, m_Options.port, m_Options.threads, m_Options.verbose};
    if (http.threads == 0) {
        http.threads = std::max(1U, std::thread::hardware_concurrency());
    }
    HttpService service(api, log, http);
    std::string reason;
    const int port = service.Bind(reason);
    if (port < 0) {
        m_Err << "serve: " << reason << '\n';
        return kExitRefused;
    }
    const ProgramWatcher watcher(registry, std::chrono::milliseconds(m_Options.watchMilliseconds),
                                 log);
    signals.Watch([&service] { service.Stop(); }, log);
    m_Out << "serving " << registry.Programs().size() << " dictionar"
          << (registry.Programs().size() == 1 ? "y" : "ies") << " at " << Url(m_Options.bind, port)
          << std::endl;
    service.Serve();
    log.Write("stopped");
    return kExitDone;
}

#include "values/PlcEndpoint.h"

#include <modbus.h>

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;

// A cut waits this much past the deadline: libmodbus's own timeout ends a silent exchange first.
constexpr milliseconds kCutGrace{20};

bool IsException(int error) {
    return error > MODBUS_ENOBASE && error <= EMBXGTAR;
}

// libmodbus's timeouts (for connecting, for the first byte of an answer and between its bytes).
void SetTimeouts(modbus_t* context, milliseconds left) {
    const auto ms = static_cast<std::uint32_t>(std::max<std::int64_t>(left.count(), 1));
    modbus_set_response_timeout(context, ms / 1000, (ms % 1000) * 1000);
    modbus_set_byte_timeout(context, ms / 1000, (ms % 1000) * 1000);
}

} // namespace

PlcEndpoint::PlcEndpoint(Options options)
    : m_Options(std::move(options)), m_Queue(m_Options.queueCapacity) {}

PlcEndpoint::PlcEndpoint(const ModbusTarget& target, std::chrono::milliseconds timeout)
    : PlcEndpoint([&] {
          Options options;
          options.target = target;
          options.timeout = timeout;
          return options;
      }()) {}

PlcEndpoint::~PlcEndpoint() {
    m_Queue.Stop();
    {
        const std::lock_guard lock(m_WatchMutex);
        m_Stopping = true;
    }
    m_WatchWake.notify_all();
    if (m_Watchdog.joinable()) {
        m_Watchdog.join();
    }
    Disconnect();
}

bool PlcEndpoint::Answering() const {
    return !BackingOff().has_value();
}

PlcHealth::Snapshot PlcEndpoint::Health() const {
    return m_Health.Read(!Answering());
}

// The reason to fail at once while the PLC is in its back-off period; nothing otherwise (the
// first exchange after the period is the probe: exchanges run one at a time).
std::optional<std::string> PlcEndpoint::BackingOff() const {
    const std::lock_guard lock(m_StateMutex);
    const auto now = Clock::now();
    if (m_Backoff.count() == 0 || now >= m_RetryAt) {
        return std::nullopt;
    }
    const auto wait = duration_cast<milliseconds>(m_RetryAt - now).count() + 1;
    return m_Options.target.Text() + ": the PLC is not answering; next try in " +
           std::to_string(wait) + " ms";
}

void PlcEndpoint::StartBackoff() {
    const std::lock_guard lock(m_StateMutex);
    m_Backoff =
        m_Backoff.count() == 0 ? m_Options.backoff : std::min(m_Backoff * 2, m_Options.maxBackoff);
    m_RetryAt = Clock::now() + m_Backoff;
}

MemoryResult PlcEndpoint::Connect(Clock::time_point deadline) {
    if (m_Context != nullptr) {
        return MemoryResult::Done();
    }
    const ModbusTarget& target = m_Options.target;
    const std::string port = std::to_string(target.port);
    m_Context = modbus_new_tcp_pi(target.host.c_str(), port.c_str());
    if (m_Context == nullptr) {
        return MemoryResult::Failed(target.Text() + ": " + modbus_strerror(errno));
    }
    modbus_set_slave(m_Context, target.unit);
    SetTimeouts(m_Context, duration_cast<milliseconds>(deadline - Clock::now()));
    const auto start = Clock::now();
    if (modbus_connect(m_Context) == -1) {
        const int error = errno;
        Disconnect();
        if (error == ETIMEDOUT) {
            StartBackoff();
        }
        const std::string reason =
            "cannot connect to " + target.Text() + ": " + modbus_strerror(error);
        m_Health.Failed(reason, Clock::now() - start);
        return MemoryResult::Failed(reason);
    }
    const std::lock_guard lock(m_WatchMutex);
    m_Socket = modbus_get_socket(m_Context);
    return MemoryResult::Done();
}

void PlcEndpoint::Disconnect() {
    // Under the watchdog's lock: it never cuts a descriptor number that was closed and reused.
    const std::lock_guard lock(m_WatchMutex);
    m_Socket = -1;
    if (m_Context != nullptr) {
        modbus_close(m_Context);
        modbus_free(m_Context);
        m_Context = nullptr;
    }
}

// Started with the first exchange, not with the endpoint: a thread started by the caller's
// thread then inherits its signal mask (a service keeps its stop signals for one thread).
void PlcEndpoint::Arm(Clock::time_point deadline) {
    {
        const std::lock_guard lock(m_WatchMutex);
        if (!m_Watchdog.joinable()) {
            m_Watchdog = std::thread([this] { Watch(); });
        }
        m_WatchDeadline = deadline;
        m_Cut = false;
    }
    m_WatchWake.notify_all();
}

void PlcEndpoint::Disarm() {
    const std::lock_guard lock(m_WatchMutex);
    m_WatchDeadline.reset();
}

// Cuts the connection of an exchange that runs past its deadline: a PLC that trickles its
// answer byte by byte would otherwise keep libmodbus reading long after the time is up.
void PlcEndpoint::Watch() {
    std::unique_lock lock(m_WatchMutex);
    while (!m_Stopping) {
        if (!m_WatchDeadline) {
            m_WatchWake.wait(lock);
            continue;
        }
        const Clock::time_point cutAt = *m_WatchDeadline + kCutGrace;
        if (Clock::now() < cutAt) {
            m_WatchWake.wait_until(lock, cutAt);
            continue;
        }
        if (m_Socket >= 0 && !m_Cut) {
            ::shutdown(m_Socket, SHUT_RDWR);
            m_Cut = true;
        }
        m_WatchWake.wait(lock);
    }
}

PlcEndpoint::Exchange::Exchange(PlcEndpoint& endpoint)
    : m_Endpoint(endpoint), m_Lock(endpoint.m_Connection) {
    // A request run from the work queue has its time from when it was queued.
    const auto start = WorkQueue::CurrentJobSubmitted().value_or(Clock::now());
    m_Deadline = start + endpoint.m_Options.timeout;
    endpoint.Arm(m_Deadline);
}

PlcEndpoint::Exchange::~Exchange() {
    m_Endpoint.Disarm();
}

MemoryResult PlcEndpoint::Exchange::Ready() {
    if (const auto waiting = m_Endpoint.BackingOff()) {
        return MemoryResult::Failed(*waiting);
    }
    const Options& options = m_Endpoint.m_Options;
    if (options.minInterval.count() > 0 && m_Endpoint.m_LastSent) {
        const Clock::time_point next = *m_Endpoint.m_LastSent + options.minInterval;
        if (next > m_Deadline) {
            return MemoryResult::Failed(options.target.Text() +
                                        ": no time left for the PLC: requests to it are " +
                                        std::to_string(options.minInterval.count()) +
                                        " ms apart and the request may take " +
                                        std::to_string(options.timeout.count()) + " ms in all");
        }
        std::this_thread::sleep_until(next);
    }
    const auto left = duration_cast<milliseconds>(m_Deadline - Clock::now());
    if (left.count() <= 0) {
        return MemoryResult::Failed(options.target.Text() +
                                    ": no time left for the PLC: the request may take " +
                                    std::to_string(options.timeout.count()) + " ms in all");
    }
    MemoryResult connected = m_Endpoint.Connect(m_Deadline);
    if (!connected.ok) {
        return connected;
    }
    SetTimeouts(m_Endpoint.m_Context, left);
    ++m_Endpoint.m_Requests;
    return MemoryResult::Done();
}

bool PlcEndpoint::Exchange::MayRetry() const {
    return Clock::now() < m_Deadline && !m_Endpoint.BackingOff();
}

MemoryResult PlcEndpoint::Exchange::Send(const std::string& what,
                                         const std::function<int(_modbus*)>& request) {
    MemoryResult last;
    for (unsigned attempt = 0;; ++attempt) {
        if (attempt > 0 && (attempt > m_Endpoint.m_Options.retries || !MayRetry())) {
            return last;
        }
        last = Ready();
        if (!last.ok) {
            continue; // a connection that could not be made is tried again
        }
        const auto start = Clock::now();
        m_Endpoint.m_LastSent = start;
        if (request(Context()) != -1) {
            m_Endpoint.m_Health.Succeeded(Clock::now() - start);
            Succeeded();
            return last;
        }
        const int error = errno;
        const auto took = Clock::now() - start;
        bool answered = false;
        last = Failed(what, error, answered);
        m_Endpoint.m_Health.Failed(last.error, took, answered);
        if (answered) {
            return last;
        }
    }
}

MemoryResult PlcEndpoint::Exchange::Failed(const std::string& what, int error, bool& answered) {
    bool cut = false;
    {
        const std::lock_guard lock(m_Endpoint.m_WatchMutex);
        cut = m_Endpoint.m_Cut;
    }
    const std::string target = m_Endpoint.m_Options.target.Text();
    answered = IsException(error) && !cut;
    if (answered) {
        return MemoryResult::Failed(
            target + ": " + what +
            ": the PLC answered with an exception: " + modbus_strerror(error));
    }
    m_Endpoint.Disconnect();
    if (cut || error == ETIMEDOUT) {
        m_Endpoint.StartBackoff();
    }
    if (cut) {
        return MemoryResult::Failed(target + ": " + what + ": no complete answer within " +
                                    std::to_string(m_Endpoint.m_Options.timeout.count()) +
                                    " ms (timed out)");
    }
    return MemoryResult::Failed(target + ": " + what + ": " + modbus_strerror(error));
}

void PlcEndpoint::Exchange::Succeeded() {
    const std::lock_guard lock(m_Endpoint.m_StateMutex);
    m_Endpoint.m_Backoff = std::chrono::milliseconds(0);
}

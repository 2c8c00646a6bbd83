#pragma once

#include "values/MemoryBackend.h"
#include "values/ModbusTarget.h"
#include "values/PlcHealth.h"
#include "values/WorkQueue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

struct _modbus;

// One PLC as the host talks to it over Modbus TCP: its connection, the lock that puts one
// exchange at a time on it, the time an exchange may take and the back-off after a PLC stopped
// answering. Every dictionary (and every version of one across reloads) that reads or writes
// this PLC shares its endpoint, so a read-modify-write of a bit is never interleaved with
// another on the same PLC.
//
// An exchange holds the connection for one request's work with the PLC (a batch of reads, one
// write) and has `timeout` for all of it: libmodbus waits at most what is left, and a watchdog
// cuts the connection of an exchange that overruns (a PLC that trickles its answer). A PLC that
// timed out is not asked again for a back-off period (1 s, doubling up to 30 s): exchanges fail
// at once, then the first one after the period probes it.
//
// A request that fails without an answer (the connection broke, could not be made) is sent
// again, up to `retries` times, while the exchange has time and the PLC is not backing off; an
// exception answer is the PLC's own refusal and is not. Two requests to the PLC are at least
// `minInterval` apart, for devices that take only so many.
//
// Requests that would make a front end wait on the PLC run on the endpoint's work queue.
class PlcEndpoint {
public:
    struct Options {
        ModbusTarget target;
        std::chrono::milliseconds timeout{1000}; // for a whole exchange
        std::chrono::milliseconds backoff{1000}; // the first back-off period
        std::chrono::milliseconds maxBackoff{30000};
        std::size_t queueCapacity = 64;           // requests waiting for the PLC
        std::string name;                         // as the plant calls it; "" on the command line
        unsigned retries = 0;                     // a failed request sent again this many times
        std::chrono::milliseconds minInterval{0}; // between two requests to the PLC
    };

    explicit PlcEndpoint(Options options);
    // With the default back-off and queue.
    PlcEndpoint(const ModbusTarget& target, std::chrono::milliseconds timeout);
    PlcEndpoint(const PlcEndpoint&) = delete;
    PlcEndpoint& operator=(const PlcEndpoint&) = delete;
    ~PlcEndpoint();

    const ModbusTarget& Target() const { return m_Options.target; }
    const Options& Settings() const { return m_Options; }
    std::chrono::milliseconds Timeout() const { return m_Options.timeout; }
    WorkQueue& Queue() { return m_Queue; }
    // Requests sent to the PLC so far (each read or write of one group counts one).
    std::uint64_t RequestCount() const { return m_Requests.load(); }
    // False while the PLC is in its back-off period.
    bool Answering() const;
    // What the PLC went through so far, and its state now.
    PlcHealth::Snapshot Health() const;

    // Exclusive use of the connection for one request's work with the PLC.
    class Exchange {
    public:
        explicit Exchange(PlcEndpoint& endpoint);
        Exchange(const Exchange&) = delete;
        Exchange& operator=(const Exchange&) = delete;
        ~Exchange();

        // One request: `request` makes the libmodbus call on the connection and returns what
        // it returned (-1: failed). Sent again as the endpoint's retries say; the failure
        // names what was being done.
        MemoryResult Send(const std::string& what, const std::function<int(_modbus*)>& request);
        // The connection, or null once it was dropped.
        _modbus* Context() const { return m_Endpoint.m_Context; }

    private:
        // The connection, made when needed, ready for one call with what is left of the
        // exchange's time, once the minimum interval since the last request passed; a failure
        // when the PLC is backing off, cannot be reached or the time is up.
        MemoryResult Ready();
        // After a libmodbus call failed: the reason, with what was being done. The connection is
        // dropped unless the PLC answered with an exception (answered); a timeout starts the
        // back-off.
        MemoryResult Failed(const std::string& what, int error, bool& answered);
        // After a libmodbus call succeeded: the PLC answers again.
        void Succeeded();
        // Whether another try fits: time is left and the PLC is not backing off.
        bool MayRetry() const;

        PlcEndpoint& m_Endpoint;
        std::unique_lock<std::mutex> m_Lock;
        std::chrono::steady_clock::time_point m_Deadline;
    };

private:
    using Clock = std::chrono::steady_clock;

    MemoryResult Connect(Clock::time_point deadline);
    void Disconnect();
    void StartBackoff();
    std::optional<std::string> BackingOff() const;
    void Watch();
    void Arm(Clock::time_point deadline);
    void Disarm();

    Options m_Options;
    std::mutex m_Connection; // one exchange at a time
    _modbus* m_Context = nullptr;
    std::atomic<std::uint64_t> m_Requests{0};
    std::optional<Clock::time_point> m_LastSent; // under m_Connection
    PlcHealth m_Health;

    // The back-off: read without the connection's lock by Answering() and the failing fast.
    mutable std::mutex m_StateMutex;
    Clock::time_point m_RetryAt{};
    std::chrono::milliseconds m_Backoff{0};

    // The watchdog: the deadline of the exchange in progress, and the socket it may cut.
    std::mutex m_WatchMutex;
    std::condition_variable m_WatchWake;
    std::optional<Clock::time_point> m_WatchDeadline;
    int m_Socket = -1;
    bool m_Cut = false;
    bool m_Stopping = false;
    std::thread m_Watchdog; // started by the first exchange

    WorkQueue m_Queue; // last: its worker stops before the connection goes
};

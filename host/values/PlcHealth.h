#pragma once

#include "values/LatencyHistogram.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

// What a PLC's endpoint went through: its requests and failures, the last error and the last
// success, and the request times of the last minute, for the people who run the service. An
// exchange records once per request it sends (or fails to connect for); reading takes a copy.
//
// The state: failing while the last request failed (the PLC answered nothing, or the
// connection broke) or the PLC is backing off; idle before any request and when nothing was
// asked for kIdleAfter; connected otherwise. An exception answer is the PLC's own refusal of
// one request: it counts as an error but the PLC answered, so it keeps the PLC connected.
class PlcHealth {
public:
    using Clock = std::chrono::steady_clock;
    enum class State { Idle, Connected, Failing };

    static constexpr std::chrono::seconds kIdleAfter{60};
    // The window of the request-time percentiles, one slot per second.
    static constexpr std::size_t kWindowSeconds = 60;

    struct Snapshot {
        State state = State::Idle;
        std::string lastError;
        std::optional<std::chrono::system_clock::time_point> lastErrorTime;
        std::optional<std::chrono::system_clock::time_point> lastSuccessTime;
        std::uint64_t requests = 0;
        std::uint64_t errors = 0;
        // Over the window; nothing when no request was timed in it.
        std::optional<double> p50Ms;
        std::optional<double> p99Ms;
        LatencyHistogram::Counts latency; // since the start
    };

    PlcHealth();

    // A request the PLC answered, after `took`.
    void Succeeded(std::chrono::nanoseconds took, Clock::time_point now = Clock::now());
    // A request that failed after `took`; answered: the PLC answered with an exception.
    void Failed(const std::string& reason, std::chrono::nanoseconds took, bool answered = false,
                Clock::time_point now = Clock::now());
    // backingOff: the endpoint is in its back-off period.
    Snapshot Read(bool backingOff, Clock::time_point now = Clock::now()) const;

    static const char* Name(State state);

private:
    // Bucket upper bounds: 50 us times 2^(i/4), i = 0..kBuckets-1 (to about 52 s); one more
    // bucket takes anything longer.
    static constexpr std::size_t kBuckets = 81;
    struct Second {
        std::int64_t second = -1; // which second of the clock the slot counts
        std::array<std::uint32_t, kBuckets + 1> counts{};
    };

    void Time(std::chrono::nanoseconds took, Clock::time_point now);
    static std::size_t Bucket(std::chrono::nanoseconds took);
    static double BucketMs(std::size_t bucket);
    // The request time below which a share q of the window's requests fall (a bucket's bound).
    static std::optional<double> Percentile(const std::array<std::uint64_t, kBuckets + 1>& counts,
                                            std::uint64_t total, double q);

    std::atomic<std::uint64_t> m_Requests{0};
    std::atomic<std::uint64_t> m_Errors{0};
    LatencyHistogram m_Latency;

    mutable std::mutex m_Mutex; // guards what follows
    std::string m_LastError;
    std::optional<std::chrono::system_clock::time_point> m_LastErrorTime;
    std::optional<std::chrono::system_clock::time_point> m_LastSuccessTime;
    std::optional<Clock::time_point> m_LastActivity;
    bool m_LastFailed = false;
    std::array<Second, kWindowSeconds> m_Window{};
};

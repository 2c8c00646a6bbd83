#include "values/PlcHealth.h"

#include <cmath>

namespace {

constexpr double kFirstBoundMs = 0.05;

std::int64_t SecondOf(PlcHealth::Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

} // namespace

PlcHealth::PlcHealth() = default;

const char* PlcHealth::Name(State state) {
    switch (state) {
    case State::Connected:
        return "connected";
    case State::Failing:
        return "failing";
    case State::Idle:
        break;
    }
    return "idle";
}

std::size_t PlcHealth::Bucket(std::chrono::nanoseconds took) {
    const double ms = std::chrono::duration<double, std::milli>(took).count();
    if (ms <= kFirstBoundMs) {
        return 0;
    }
    const auto bucket = static_cast<std::size_t>(std::ceil(4.0 * std::log2(ms / kFirstBoundMs)));
    return std::min(bucket, kBuckets);
}

double PlcHealth::BucketMs(std::size_t bucket) {
    return kFirstBoundMs * std::exp2(static_cast<double>(bucket) / 4.0);
}

void PlcHealth::Time(std::chrono::nanoseconds took, Clock::time_point now) {
    m_Requests.fetch_add(1, std::memory_order_relaxed);
    m_Latency.Record(took);
    const std::int64_t second = SecondOf(now);
    Second& slot = m_Window[static_cast<std::size_t>(second) % kWindowSeconds];
    if (slot.second != second) {
        slot = Second{second, {}};
    }
    ++slot.counts[Bucket(took)];
    m_LastActivity = now;
}

void PlcHealth::Succeeded(std::chrono::nanoseconds took, Clock::time_point now) {
    const auto wall = std::chrono::system_clock::now();
    const std::lock_guard lock(m_Mutex);
    Time(took, now);
    m_LastSuccessTime = wall;
    m_LastFailed = false;
}

void PlcHealth::Failed(const std::string& reason, std::chrono::nanoseconds took, bool answered,
                       Clock::time_point now) {
    const auto wall = std::chrono::system_clock::now();
    m_Errors.fetch_add(1, std::memory_order_relaxed);
    const std::lock_guard lock(m_Mutex);
    Time(took, now);
    m_LastError = reason;
    m_LastErrorTime = wall;
    if (answered) {
        m_LastSuccessTime = wall;
    }
    m_LastFailed = !answered;
}

std::optional<double> PlcHealth::Percentile(const std::array<std::uint64_t, kBuckets + 1>& counts,
                                            std::uint64_t total, double q) {
    if (total == 0) {
        return std::nullopt;
    }
    // The rank of the q-quantile among the requests, counted from 1.
    const auto rank = std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(q * static_cast<double>(total))));
    std::uint64_t below = 0;
    for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket) {
        below += counts[bucket];
        if (below >= rank) {
            return BucketMs(std::min(bucket, kBuckets - 1));
        }
    }
    return BucketMs(kBuckets - 1);
}

PlcHealth::Snapshot PlcHealth::Read(bool backingOff, Clock::time_point now) const {
    Snapshot snapshot;
    snapshot.requests = m_Requests.load(std::memory_order_relaxed);
    snapshot.errors = m_Errors.load(std::memory_order_relaxed);
    snapshot.latency = m_Latency.Read();
    std::array<std::uint64_t, kBuckets + 1> counts{};
    std::uint64_t total = 0;
    const std::int64_t second = SecondOf(now);
    const std::lock_guard lock(m_Mutex);
    snapshot.lastError = m_LastError;
    snapshot.lastErrorTime = m_LastErrorTime;
    snapshot.lastSuccessTime = m_LastSuccessTime;
    if (backingOff || m_LastFailed) {
        snapshot.state = State::Failing;
    } else if (m_LastActivity && now - *m_LastActivity < kIdleAfter) {
        snapshot.state = State::Connected;
    }
    for (const Second& slot : m_Window) {
        if (slot.second < 0 || second - slot.second >= static_cast<std::int64_t>(kWindowSeconds)) {
            continue;
        }
        for (std::size_t bucket = 0; bucket <= kBuckets; ++bucket) {
            counts[bucket] += slot.counts[bucket];
            total += slot.counts[bucket];
        }
    }
    snapshot.p50Ms = Percentile(counts, total, 0.50);
    snapshot.p99Ms = Percentile(counts, total, 0.99);
    return snapshot;
}

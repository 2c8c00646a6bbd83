#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

// Request times counted in fixed buckets (upper bounds in seconds, 1 ms to 10 s, and one more
// for anything longer), with their sum: what a monitoring system turns into rates and
// quantiles. Lock-free: one relaxed increment per bucket touched.
class LatencyHistogram {
public:
    static constexpr std::array<double, 13> kBounds = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                       0.25,  0.5,    1.0,   2.5,  5.0,   10.0};

    struct Counts {
        std::array<std::uint64_t, kBounds.size()> atOrBelow{}; // cumulative, per bound
        std::uint64_t count = 0;                               // all, the longer ones too
        double sumSeconds = 0;
    };

    void Record(std::chrono::nanoseconds took);
    Counts Read() const;

private:
    std::array<std::atomic<std::uint64_t>, kBounds.size() + 1> m_Buckets{};
    std::atomic<std::uint64_t> m_SumNanoseconds{0};
};

#pragma once

#include "values/LatencyHistogram.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

// The service's own counts, kept while it answers: requests by row (a route of the API, or one
// of the rows for the page and for requests no route takes) and status, their times by row,
// and the connections open. Lock-free: a request costs a few relaxed increments.
class ServiceMetrics {
public:
    static constexpr int kFirstStatus = 100;
    static constexpr int kStatuses = 500; // 100 to 599; anything else counts as 500

    explicit ServiceMetrics(std::size_t rows);

    void Count(std::size_t row, int status, std::chrono::nanoseconds took);
    void Opened() { m_Open.fetch_add(1, std::memory_order_relaxed); }
    void Closed() { m_Open.fetch_sub(1, std::memory_order_relaxed); }
    std::int64_t OpenConnections() const { return m_Open.load(std::memory_order_relaxed); }

    struct Requests {
        std::size_t row = 0;
        int status = 0;
        std::uint64_t count = 0;
    };
    // Every row and status counted at least once, by row then status.
    std::vector<Requests> Counted() const;
    std::size_t Rows() const { return m_Rows; }
    const LatencyHistogram& Latency(std::size_t row) const { return m_Latency[row]; }

private:
    std::size_t m_Rows;
    std::unique_ptr<std::atomic<std::uint64_t>[]> m_Counts; // m_Rows x kStatuses
    std::unique_ptr<LatencyHistogram[]> m_Latency;
    std::atomic<std::int64_t> m_Open{0};
};

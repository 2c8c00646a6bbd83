#include "service/ServiceMetrics.h"

ServiceMetrics::ServiceMetrics(std::size_t rows)
    : m_Rows(rows), m_Counts(std::make_unique<std::atomic<std::uint64_t>[]>(rows * kStatuses)),
      m_Latency(std::make_unique<LatencyHistogram[]>(rows)) {}

void ServiceMetrics::Count(std::size_t row, int status, std::chrono::nanoseconds took) {
    if (row >= m_Rows) {
        return;
    }
    if (status < kFirstStatus || status >= kFirstStatus + kStatuses) {
        status = 500;
    }
    m_Counts[row * kStatuses + static_cast<std::size_t>(status - kFirstStatus)].fetch_add(
        1, std::memory_order_relaxed);
    m_Latency[row].Record(took);
}

std::vector<ServiceMetrics::Requests> ServiceMetrics::Counted() const {
    std::vector<Requests> counted;
    for (std::size_t row = 0; row < m_Rows; ++row) {
        for (int status = 0; status < kStatuses; ++status) {
            const std::uint64_t count =
                m_Counts[row * kStatuses + static_cast<std::size_t>(status)].load(
                    std::memory_order_relaxed);
            if (count > 0) {
                counted.push_back({row, kFirstStatus + status, count});
            }
        }
    }
    return counted;
}

#include "values/LatencyHistogram.h"

#include <algorithm>

void LatencyHistogram::Record(std::chrono::nanoseconds took) {
    const double seconds = std::chrono::duration<double>(took).count();
    const auto bucket = static_cast<std::size_t>(
        std::lower_bound(kBounds.begin(), kBounds.end(), seconds) - kBounds.begin());
    m_Buckets[bucket].fetch_add(1, std::memory_order_relaxed);
    m_SumNanoseconds.fetch_add(static_cast<std::uint64_t>(std::max<std::int64_t>(took.count(), 0)),
                               std::memory_order_relaxed);
}

LatencyHistogram::Counts LatencyHistogram::Read() const {
    Counts counts;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < kBounds.size(); ++i) {
        total += m_Buckets[i].load(std::memory_order_relaxed);
        counts.atOrBelow[i] = total;
    }
    counts.count = total + m_Buckets[kBounds.size()].load(std::memory_order_relaxed);
    counts.sumSeconds = static_cast<double>(m_SumNanoseconds.load(std::memory_order_relaxed)) / 1e9;
    return counts;
}

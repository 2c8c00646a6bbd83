#pragma once

#include "values/LatencyHistogram.h"

#include <string>
#include <utility>
#include <vector>

// Writes metrics in the Prometheus text exposition format (version 0.0.4): each family's HELP
// and TYPE lines, then its samples, label values escaped.
class PrometheusText {
public:
    using Labels = std::vector<std::pair<std::string, std::string>>;

    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

    // Starts a family; type is "counter", "gauge" or "histogram".
    void Family(const std::string& name, const std::string& type, const std::string& help);
    void Sample(const std::string& name, const Labels& labels, double value);
    // A histogram's _bucket (le), _sum and _count samples.
    void Histogram(const std::string& name, const Labels& labels,
                   const LatencyHistogram::Counts& counts);

    const std::string& Text() const { return m_Text; }

private:
    static std::string Escaped(const std::string& value);
    static std::string Number(double value);

    std::string m_Text;
};

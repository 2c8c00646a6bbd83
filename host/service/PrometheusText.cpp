#include "service/PrometheusText.h"

#include <array>
#include <cmath>
#include <cstdio>

void PrometheusText::Family(const std::string& name, const std::string& type,
                            const std::string& help) {
    m_Text += "# HELP " + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

void PrometheusText::Sample(const std::string& name, const Labels& labels, double value) {
    m_Text += name;
    if (!labels.empty()) {
        m_Text += '{';
        for (std::size_t i = 0; i < labels.size(); ++i) {
            m_Text +=
                (i == 0 ? "" : ",") + labels[i].first + "=\"" + Escaped(labels[i].second) + "\"";
        }
        m_Text += '}';
    }
    m_Text += ' ' + Number(value) + '\n';
}

void PrometheusText::Histogram(const std::string& name, const Labels& labels,
                               const LatencyHistogram::Counts& counts) {
    Labels bucket = labels;
    bucket.emplace_back("le", "");
    for (std::size_t i = 0; i < LatencyHistogram::kBounds.size(); ++i) {
        bucket.back().second = Number(LatencyHistogram::kBounds[i]);
        Sample(name + "_bucket", bucket, static_cast<double>(counts.atOrBelow[i]));
    }
    bucket.back().second = "+Inf";
    Sample(name + "_bucket", bucket, static_cast<double>(counts.count));
    Sample(name + "_sum", labels, counts.sumSeconds);
    Sample(name + "_count", labels, static_cast<double>(counts.count));
}

// A label value: backslash, double quote and line feed escaped.
std::string PrometheusText::Escaped(const std::string& value) {
    std::string escaped;
    escaped.reserve(value.size());
    for (const char c : value) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// Integers as integers, others with as many digits as they need.
std::string PrometheusText::Number(double value) {
    if (std::isinf(value)) {
        return value > 0 ? "+Inf" : "-Inf";
    }
    std::array<char, 32> text{};
    if (value == std::floor(value) && std::fabs(value) < 1e15) {
        std::snprintf(text.data(), text.size(), "%.0f", value);
    } else {
        std::snprintf(text.data(), text.size(), "%.9g", value);
    }
    return text.data();
}

#pragma once

#include "mqtt/MqttStatus.h"
#include "service/ProgramRegistry.h"
#include "service/ServiceMetrics.h"

#include <string>
#include <utility>
#include <vector>

// What GET /metrics answers: the service's requests and connections, its subscriptions, each
// PLC endpoint's requests, errors, request times and state, and each dictionary's reloads, in
// the Prometheus text format.
class MetricsPage {
public:
    struct Service {
        const ServiceMetrics& metrics;
        // The route pattern and method of each of the metrics' rows.
        const std::vector<std::pair<std::string, std::string>>& rows;
        std::size_t subscriptions = 0;
        // Each publishing dictionary's MQTT publisher.
        std::vector<std::pair<std::string, MqttStatus>> mqtt;
    };

    static std::string Text(const ProgramRegistry& registry, const Service& service);

private:
    class Writer;
};

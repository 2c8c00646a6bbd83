#include "service/MetricsPage.h"

#include "service/PrometheusText.h"
#include "json/PlcJson.h"

#include <algorithm>
#include <array>

class MetricsPage::Writer {
public:
    void Http(const Service& service);
    void Plcs(const ProgramRegistry& registry);
    void Dictionaries(const ProgramRegistry& registry);
    void Mqtt(const std::vector<std::pair<std::string, MqttStatus>>& publishers);
    std::string Text() const { return m_Out.Text(); }

private:
    PrometheusText m_Out;
};

void MetricsPage::Writer::Http(const Service& service) {
    const ServiceMetrics& metrics = service.metrics;
    const auto labels = [&service](std::size_t row) {
        return PrometheusText::Labels{{"route", service.rows[row].first},
                                      {"method", service.rows[row].second}};
    };
    m_Out.Family("varbank_http_requests_total", "counter",
                 "HTTP requests answered, by route pattern, method and status.");
    for (const ServiceMetrics::Requests& counted : metrics.Counted()) {
        PrometheusText::Labels row = labels(counted.row);
        row.emplace_back("status", std::to_string(counted.status));
        m_Out.Sample("varbank_http_requests_total", row, static_cast<double>(counted.count));
    }
    m_Out.Family("varbank_http_request_duration_seconds", "histogram",
                 "Time from a request's start to its answer, by route pattern and method.");
    for (std::size_t row = 0; row < metrics.Rows(); ++row) {
        const LatencyHistogram::Counts counts = metrics.Latency(row).Read();
        if (counts.count > 0) {
            m_Out.Histogram("varbank_http_request_duration_seconds", labels(row), counts);
        }
    }
    m_Out.Family("varbank_http_open_connections", "gauge", "HTTP connections open.");
    m_Out.Sample("varbank_http_open_connections", {},
                 static_cast<double>(std::max<std::int64_t>(metrics.OpenConnections(), 0)));
    m_Out.Family("varbank_open_subscriptions", "gauge",
                 "Subscriptions held (WebSocket and server-sent event streams).");
    m_Out.Sample("varbank_open_subscriptions", {}, static_cast<double>(service.subscriptions));
}

void MetricsPage::Writer::Plcs(const ProgramRegistry& registry) {
    // Each endpoint once, however many dictionaries share it.
    std::vector<std::shared_ptr<PlcEndpoint>> plcs;
    for (const auto& served : registry.Programs()) {
        std::shared_ptr<PlcEndpoint> plc = served->Plc();
        if (plc && std::find(plcs.begin(), plcs.end(), plc) == plcs.end()) {
            plcs.push_back(std::move(plc));
        }
    }
    std::vector<std::pair<PrometheusText::Labels, PlcHealth::Snapshot>> seen;
    seen.reserve(plcs.size());
    for (const auto& plc : plcs) {
        seen.emplace_back(PrometheusText::Labels{{"plc", PlcJson::Name(*plc)},
                                                 {"endpoint", plc->Target().Text()}},
                          plc->Health());
    }
    m_Out.Family("varbank_plc_requests_total", "counter",
                 "Requests sent to the PLC (each try counts), failed ones included.");
    for (const auto& [labels, health] : seen) {
        m_Out.Sample("varbank_plc_requests_total", labels, static_cast<double>(health.requests));
    }
    m_Out.Family("varbank_plc_errors_total", "counter",
                 "Requests to the PLC that failed, exception answers included.");
    for (const auto& [labels, health] : seen) {
        m_Out.Sample("varbank_plc_errors_total", labels, static_cast<double>(health.errors));
    }
    m_Out.Family("varbank_plc_request_duration_seconds", "histogram",
                 "Time the PLC took for a request, failed ones included.");
    for (const auto& [labels, health] : seen) {
        m_Out.Histogram("varbank_plc_request_duration_seconds", labels, health.latency);
    }
    m_Out.Family("varbank_plc_state", "gauge",
                 "The PLC's state: 1 for the state it is in, 0 for the others.");
    for (const auto& [labels, health] : seen) {
        for (const PlcHealth::State state :
             {PlcHealth::State::Connected, PlcHealth::State::Failing, PlcHealth::State::Idle}) {
            PrometheusText::Labels withState = labels;
            withState.emplace_back("state", PlcHealth::Name(state));
            m_Out.Sample("varbank_plc_state", withState, health.state == state ? 1 : 0);
        }
    }
}

void MetricsPage::Writer::Dictionaries(const ProgramRegistry& registry) {
    m_Out.Family("varbank_dictionary_plc", "gauge",
                 "1 for each dictionary with the PLC endpoint its values live in.");
    for (const auto& served : registry.Programs()) {
        if (const std::shared_ptr<PlcEndpoint> plc = served->Plc()) {
            m_Out.Sample("varbank_dictionary_plc",
                         {{"dictionary", served->Name()},
                          {"plc", PlcJson::Name(*plc)},
                          {"endpoint", plc->Target().Text()}},
                         1);
        }
    }
    m_Out.Family("varbank_dictionary_reloads_total", "counter",
                 "Imports of the dictionary's file that went into service, the first included.");
    for (const auto& served : registry.Programs()) {
        m_Out.Sample("varbank_dictionary_reloads_total", {{"dictionary", served->Name()}},
                     static_cast<double>(served->Reloads()));
    }
    m_Out.Family("varbank_dictionary_reload_failures_total", "counter",
                 "Imports of the dictionary's file that failed.");
    for (const auto& served : registry.Programs()) {
        m_Out.Sample("varbank_dictionary_reload_failures_total", {{"dictionary", served->Name()}},
                     static_cast<double>(served->ReloadFailures()));
    }
}

void MetricsPage::Writer::Mqtt(const std::vector<std::pair<std::string, MqttStatus>>& publishers) {
    const auto family = [this, &publishers](const char* name, const char* type, const char* help,
                                            double (*value)(const MqttStatus&)) {
        m_Out.Family(name, type, help);
        for (const auto& [dictionary, status] : publishers) {
            m_Out.Sample(name, {{"dictionary", dictionary}}, value(status));
        }
    };
    family("varbank_mqtt_connected", "gauge",
           "1 while the dictionary's MQTT publisher is connected to its broker.",
           [](const MqttStatus& s) { return s.connected ? 1.0 : 0.0; });
    family("varbank_mqtt_queued", "gauge", "Values waiting to be published.",
           [](const MqttStatus& s) { return static_cast<double>(s.queued); });
    family("varbank_mqtt_published_total", "counter", "Messages published to the broker.",
           [](const MqttStatus& s) { return static_cast<double>(s.published); });
    family("varbank_mqtt_dropped_total", "counter",
           "Values replaced by a newer one before they were published.",
           [](const MqttStatus& s) { return static_cast<double>(s.dropped); });
}

std::string MetricsPage::Text(const ProgramRegistry& registry, const Service& service) {
    Writer writer;
    writer.Http(service);
    writer.Plcs(registry);
    writer.Dictionaries(registry);
    writer.Mqtt(service.mqtt);
    return writer.Text();
}

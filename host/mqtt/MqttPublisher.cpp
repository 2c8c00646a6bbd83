#include "mqtt/MqttPublisher.h"

#include "mqtt/ProgramPublisher.h"

#include <unistd.h>

#include <algorithm>
#include <array>

std::string MqttPublisher::ClientId(const PlantConfig::Mqtt& broker, const std::string& dictionary,
                                    bool several) {
    if (!broker.clientId.empty()) {
        return several ? broker.clientId + "-" + dictionary : broker.clientId;
    }
    // Unique per machine and dictionary, so that several services publish side by side.
    std::array<char, 256> host{};
    ::gethostname(host.data(), host.size() - 1);
    return std::string("varbank-") + host.data() + "-" + dictionary;
}

std::unique_ptr<MqttPublisher> MqttPublisher::Start(const PlantConfig::Mqtt& broker,
                                                    std::vector<MqttSource> sources, const Log& log,
                                                    std::string& error) {
    std::erase_if(sources, [](const MqttSource& source) { return !source.publish.Any(); });
    if (sources.empty()) {
        error = "no program publishes anything to the MQTT broker";
        return nullptr;
    }
    std::unique_ptr<MqttPublisher> publisher(new MqttPublisher());
    const bool several = sources.size() > 1;
    for (MqttSource& source : sources) {
        const std::string id = ClientId(broker, source.dictionary, several);
        auto program = std::make_unique<ProgramPublisher>(broker, id, std::move(source), log);
        if (!program->Start(error)) {
            error.insert(0, "mqtt: ");
            return nullptr;
        }
        publisher->m_Programs.push_back(std::move(program));
    }
    return publisher;
}

MqttPublisher::~MqttPublisher() = default;

std::vector<std::pair<std::string, MqttStatus>> MqttPublisher::Statuses() const {
    std::vector<std::pair<std::string, MqttStatus>> statuses;
    for (const auto& program : m_Programs) {
        statuses.emplace_back(program->Dictionary(), program->Status());
    }
    return statuses;
}

MqttStatus MqttPublisher::Total() const {
    MqttStatus total;
    total.connected = !m_Programs.empty();
    for (const auto& program : m_Programs) {
        total += program->Status();
    }
    return total;
}

#include "mqtt/MqttPublisher.h"

#include "mqtt/ProgramPublisher.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <sstream>

namespace {

// Everything of the broker's settings a connection is made with (the password as a change only).
std::string BrokerText(const PlantConfig::Mqtt& broker) {
    std::ostringstream text;
    text << broker.host << ' ' << broker.port << ' ' << broker.clientId << ' ' << broker.username
         << ' ' << std::hash<std::string>{}(broker.password.value) << ' ' << broker.caFile << ' '
         << broker.qos << ' ' << broker.topicPrefix;
    return text.str();
}

} // namespace

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
    std::unique_ptr<MqttPublisher> publisher(new MqttPublisher(broker, log));
    const bool several = sources.size() > 1;
    for (MqttSource& source : sources) {
        if (!publisher->Add(std::move(source), several, error)) {
            error.insert(0, "mqtt: ");
            return nullptr;
        }
    }
    return publisher;
}

MqttPublisher::MqttPublisher(const PlantConfig::Mqtt& broker, Log log)
    : m_Broker(broker), m_Log(std::move(log)) {}

bool MqttPublisher::Add(MqttSource source, bool several, std::string& error) {
    const std::string id = ClientId(m_Broker, source.dictionary, several);
    auto program = std::make_unique<ProgramPublisher>(m_Broker, id, std::move(source), m_Log);
    if (!program->Start(error)) {
        return false;
    }
    const std::lock_guard lock(m_Mutex);
    m_Programs.push_back(std::move(program));
    return true;
}

void MqttPublisher::Follow(const std::optional<PlantConfig::Mqtt>& broker,
                           std::vector<MqttSource> sources) {
    const std::string given = broker ? BrokerText(*broker) : std::string("none");
    const std::string running = BrokerText(m_Broker);
    if (given != running && given != m_Told) {
        m_Log("mqtt: " + std::string(broker ? "[mqtt] changed" : "[mqtt] removed") +
              " in the configuration; it applies at the next start (publishing goes on to " +
              m_Broker.host + ":" + std::to_string(m_Broker.port) + ")");
    }
    m_Told = given == running ? std::string() : given;
    std::erase_if(sources, [](const MqttSource& source) { return !source.publish.Any(); });
    StopGone(sources);
    for (MqttSource& source : sources) {
        ProgramPublisher* found = nullptr;
        {
            const std::lock_guard lock(m_Mutex);
            for (const auto& program : m_Programs) {
                found = program->Serves(source) ? program.get() : found;
            }
        }
        if (found != nullptr) {
            found->Reconfigure(source);
            continue;
        }
        const std::string dictionary = source.dictionary;
        std::string error;
        if (!Add(std::move(source), sources.size() > 1, error)) {
            m_Log(error.insert(0, "mqtt: " + dictionary + ": not published: "));
        }
    }
}

void MqttPublisher::StopGone(const std::vector<MqttSource>& sources) {
    // Those no longer published leave the list first, and stop outside the lock: a stop waits
    // for the publisher's thread and the broker's goodbye.
    std::vector<std::unique_ptr<ProgramPublisher>> gone;
    {
        const std::lock_guard lock(m_Mutex);
        for (auto& program : m_Programs) {
            const bool kept =
                std::any_of(sources.begin(), sources.end(), [&program](const MqttSource& source) {
                    return program->Serves(source);
                });
            if (!kept) {
                gone.push_back(std::move(program));
            }
        }
        std::erase(m_Programs, nullptr);
    }
    for (auto& program : gone) {
        m_Log("mqtt: " + program->Dictionary() + ": no longer published; state offline");
        program->Stop();
    }
}

MqttPublisher::~MqttPublisher() = default;

std::vector<std::pair<std::string, MqttStatus>> MqttPublisher::Statuses() const {
    const std::lock_guard lock(m_Mutex);
    std::vector<std::pair<std::string, MqttStatus>> statuses;
    for (const auto& program : m_Programs) {
        statuses.emplace_back(program->Dictionary(), program->Status());
    }
    return statuses;
}

MqttStatus MqttPublisher::Total() const {
    const std::lock_guard lock(m_Mutex);
    MqttStatus total;
    total.connected = !m_Programs.empty();
    for (const auto& program : m_Programs) {
        total += program->Status();
    }
    return total;
}

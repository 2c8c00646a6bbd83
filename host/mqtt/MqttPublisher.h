#pragma once

#include "config/PlantConfig.h"
#include "mqtt/MqttSource.h"
#include "mqtt/MqttStatus.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ProgramPublisher;

// Publishes the served programs' values to an MQTT broker, each program that publishes anything
// on its own connection: <prefix>/<dictionary>/<item levels> retained, with the payload
// {"value", "type", "time", "error"}; <prefix>/<dictionary>/$state retained, online with the
// program's stamp at each connect and reload, offline as the last will; and, for a writable
// program, writes from <item topic>/set answered on <item topic>/set/result.
class MqttPublisher {
public:
    using Log = std::function<void(const std::string&)>;

    // Starts the publisher of every program that publishes anything (none may, yet); never
    // waits for the broker. Nothing, with the reason, when the settings are refused.
    static std::unique_ptr<MqttPublisher> Start(const PlantConfig::Mqtt& broker,
                                                std::vector<MqttSource> sources, const Log& log,
                                                std::string& error);
    // Follows the served programs as a changed configuration left them: a program that publishes
    // anew gets its publisher (online), one no longer served or publishing stops (the broker
    // publishes its offline state), one whose publish settings or writability changed takes
    // them. The broker's own settings are taken only at a start: a change is logged, once, and
    // publishing goes on as before. One caller at a time.
    void Follow(const std::optional<PlantConfig::Mqtt>& broker, std::vector<MqttSource> sources);
    ~MqttPublisher();
    MqttPublisher(const MqttPublisher&) = delete;
    MqttPublisher& operator=(const MqttPublisher&) = delete;

    // Each publishing dictionary's status, in the order given.
    std::vector<std::pair<std::string, MqttStatus>> Statuses() const;
    // Everything together: connected when every connection is.
    MqttStatus Total() const;
    // The client id of a dictionary's connection: the one configured, with "-" and the
    // dictionary when several programs publish; by default "varbank-<host name>-<dictionary>".
    static std::string ClientId(const PlantConfig::Mqtt& broker, const std::string& dictionary,
                                bool several);

private:
    MqttPublisher(const PlantConfig::Mqtt& broker, Log log);
    bool Add(MqttSource source, bool several, std::string& error);
    // Stops the publishers of programs not among the sources.
    void StopGone(const std::vector<MqttSource>& sources);

    const PlantConfig::Mqtt m_Broker;
    const Log m_Log;
    std::string m_Told;         // the changed broker settings last logged (Follow's caller)
    mutable std::mutex m_Mutex; // guards the programs for the status readers
    std::vector<std::unique_ptr<ProgramPublisher>> m_Programs;
};

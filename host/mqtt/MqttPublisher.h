#pragma once

#include "config/PlantConfig.h"
#include "mqtt/MqttSource.h"
#include "mqtt/MqttStatus.h"

#include <functional>
#include <memory>
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

    // Starts every program's publisher; never waits for the broker. Nothing, with the reason,
    // when the settings are refused or no program publishes anything.
    static std::unique_ptr<MqttPublisher> Start(const PlantConfig::Mqtt& broker,
                                                std::vector<MqttSource> sources, const Log& log,
                                                std::string& error);
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
    MqttPublisher() = default;

    std::vector<std::unique_ptr<ProgramPublisher>> m_Programs;
};

#pragma once

#include "mqtt/MqttStatus.h"

#include <nlohmann/json.hpp>

// The JSON of a dictionary's MQTT publisher as the dictionary listing shows it.
namespace MqttJson {

// {"connected", "queued", "published", "dropped"}
nlohmann::json Status(const MqttStatus& status);

} // namespace MqttJson

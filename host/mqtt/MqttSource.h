#pragma once

#include "config/PlantConfig.h"
#include "core/Program.h"
#include "core/Sampler.h"

#include <functional>
#include <memory>
#include <string>

// One served program as the publisher sees it: its dictionary name, the program in service
// (asked again at each round, so a reload is seen), its sampler, what it publishes and whether
// writes from the broker reach it.
struct MqttSource {
    std::string dictionary;
    std::function<std::shared_ptr<const Program>()> current;
    std::shared_ptr<Sampler> sampler;
    PlantConfig::Publish publish;
    bool writable = false;
};

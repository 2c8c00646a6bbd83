#pragma once

#include "HostTestSupport.h"

#include <nlohmann/json.hpp>

// The table of loose names every front end must refuse (tests/host/data/hostile_names.json):
// "names" with their reason, the datum each once reached and the value a write tries; browse
// "paths" and "continuations" with their reason.
inline const nlohmann::json& HostileNames() {
    static const nlohmann::json table = nlohmann::json::parse(
        hosttest::ReadFile(VARBANK_SOURCE_DIR "/tests/host/data/hostile_names.json"));
    return table;
}

#pragma once

#include "config/PlantConfig.h"

#include <cstddef>
#include <string>
#include <vector>

// Whether a configured program's file imports, as check-config reports it: its variable count,
// or its errors ("file:line: reason").
class ProgramCheck {
public:
    struct Outcome {
        bool imported = false;
        std::size_t variables = 0;
        std::vector<std::string> errors;
    };

    static Outcome Import(const PlantConfig::Program& program, bool strict);
};

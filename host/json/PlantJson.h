#pragma once

#include "config/PlantConfig.h"
#include "config/ProgramCheck.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

// The JSON of a plant's configuration, as check-config --json prints it: what would be served,
// never the tokens themselves (only where each comes from).
namespace PlantJson {

// {"service", "plcs", "programs"}; outcomes, one per program in order, add "imports",
// "variables" and "errors" to each program (none when empty).
nlohmann::json Config(const PlantConfig& config,
                      const std::vector<ProgramCheck::Outcome>& outcomes);
nlohmann::json Plc(const PlantConfig::Plc& plc);
// {"value": N, ...} of each base, null for an area without a Modbus place.
nlohmann::json Map(const RegisterMap& map);
std::string WordOrderName(ModbusMemory::WordOrder order);

} // namespace PlantJson

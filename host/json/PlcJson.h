#pragma once

#include "values/PlcEndpoint.h"

#include <nlohmann/json.hpp>

// The JSON of a PLC endpoint as the dictionary listing shows it: what it is and how it fares.
namespace PlcJson {

// {"name", "endpoint", "state", "lastError", "lastErrorTime", "lastSuccessTime", "requests",
// "errors", "p50Ms", "p99Ms"}; the name is the endpoint's when the plant gave it none; times
// in UTC, null when there is none yet.
nlohmann::json Endpoint(const PlcEndpoint& plc);
// The endpoint's name, or its address when it has none.
std::string Name(const PlcEndpoint& plc);

} // namespace PlcJson

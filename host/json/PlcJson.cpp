#include "json/PlcJson.h"

#include "json/CoreJson.h"

#include <cmath>

namespace {

nlohmann::json Time(const std::optional<std::chrono::system_clock::time_point>& time) {
    return time ? nlohmann::json(CoreJson::IsoTime(*time)) : nlohmann::json();
}

nlohmann::json Milliseconds(const std::optional<double>& ms) {
    return ms ? nlohmann::json(std::round(*ms * 1000.0) / 1000.0) : nlohmann::json();
}

} // namespace

std::string PlcJson::Name(const PlcEndpoint& plc) {
    const std::string& name = plc.Settings().name;
    return name.empty() ? plc.Target().Text() : name;
}

nlohmann::json PlcJson::Endpoint(const PlcEndpoint& plc) {
    const PlcHealth::Snapshot health = plc.Health();
    return {{"name", Name(plc)},
            {"endpoint", plc.Target().Text()},
            {"state", PlcHealth::Name(health.state)},
            {"lastError",
             health.lastError.empty() ? nlohmann::json() : nlohmann::json(health.lastError)},
            {"lastErrorTime", Time(health.lastErrorTime)},
            {"lastSuccessTime", Time(health.lastSuccessTime)},
            {"requests", health.requests},
            {"errors", health.errors},
            {"p50Ms", Milliseconds(health.p50Ms)},
            {"p99Ms", Milliseconds(health.p99Ms)}};
}

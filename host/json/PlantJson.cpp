#include "json/PlantJson.h"

namespace PlantJson {

namespace {

nlohmann::json TokenSource(const PlantConfig::Token& token) {
    return token.source.empty() ? nlohmann::json() : nlohmann::json(token.source);
}

nlohmann::json Publish(const PlantConfig::Publish& publish) {
    if (!publish.Any()) {
        return nullptr;
    }
    return {{"items", publish.items},
            {"interval_ms", publish.interval.count()},
            {"deadband", publish.deadband},
            {"resend_ms", publish.resend.count()}};
}

nlohmann::json Mqtt(const std::optional<PlantConfig::Mqtt>& mqtt) {
    if (!mqtt) {
        return nullptr;
    }
    return {
        {"host", mqtt->host},
        {"port", mqtt->port},
        {"client_id", mqtt->clientId.empty() ? nlohmann::json() : nlohmann::json(mqtt->clientId)},
        {"username", mqtt->username.empty() ? nlohmann::json() : nlohmann::json(mqtt->username)},
        {"password", TokenSource(mqtt->password)},
        {"ca_file",
         mqtt->caFile.empty() ? nlohmann::json() : nlohmann::json(mqtt->caFile.string())},
        {"qos", mqtt->qos},
        {"topic_prefix", mqtt->topicPrefix}};
}

nlohmann::json Program(const PlantConfig& config, const PlantConfig::Program& program) {
    return {{"name", program.name},
            {"file", program.file.string()},
            {"dictionary", program.dictionary},
            {"memory", program.OnImage() ? "image" : "plc"},
            {"plc", program.OnImage() ? nlohmann::json() : nlohmann::json(program.plc)},
            {"writable", program.writable},
            {"write_token",
             program.writable ? TokenSource(config.WriteTokenOf(program)) : nlohmann::json()},
            {"publish", Publish(program.publish)}};
}

} // namespace

std::string WordOrderName(ModbusMemory::WordOrder order) {
    return order == ModbusMemory::WordOrder::HighFirst ? "high-first" : "low-first";
}

nlohmann::json Map(const RegisterMap& map) {
    nlohmann::json bases = nlohmann::json::object();
    for (std::size_t i = 0; i < RegisterMap::kAreaCount; ++i) {
        const auto area = static_cast<RegisterMap::Area>(i);
        const auto base = map.Base(area);
        bases[RegisterMap::AreaName(area)] = base ? nlohmann::json(*base) : nlohmann::json();
    }
    return {{"name", map.Name()}, {"overridden", map.Overridden()}, {"bases", bases}};
}

nlohmann::json Plc(const PlantConfig::Plc& plc) {
    return {{"name", plc.name},
            {"modbus", plc.target.Text()},
            {"map", Map(plc.map)},
            {"word_order", WordOrderName(plc.wordOrder)},
            {"timeout_ms", plc.timeout.count()},
            {"max_registers", plc.maxRegisters},
            {"max_coils", plc.maxCoils},
            {"retries", plc.retries},
            {"min_interval_ms", plc.minInterval.count()}};
}

nlohmann::json Config(const PlantConfig& config,
                      const std::vector<ProgramCheck::Outcome>& outcomes) {
    nlohmann::json plcs = nlohmann::json::array();
    for (const PlantConfig::Plc& plc : config.plcs) {
        plcs.push_back(Plc(plc));
    }
    nlohmann::json programs = nlohmann::json::array();
    for (std::size_t i = 0; i < config.programs.size(); ++i) {
        nlohmann::json program = Program(config, config.programs[i]);
        if (i < outcomes.size()) {
            program["imports"] = outcomes[i].imported;
            program["variables"] =
                outcomes[i].imported ? nlohmann::json(outcomes[i].variables) : nlohmann::json();
            program["errors"] = outcomes[i].errors;
        }
        programs.push_back(std::move(program));
    }
    const PlantConfig::Service& service = config.service;
    return {{"file", config.path.string()},
            {"service",
             {{"bind", service.bind},
              {"port", service.port},
              {"write_token", TokenSource(service.writeToken)},
              {"read_token", TokenSource(service.readToken)}}},
            {"mqtt", Mqtt(config.mqtt)},
            {"plcs", plcs},
            {"programs", programs}};
}

} // namespace PlantJson

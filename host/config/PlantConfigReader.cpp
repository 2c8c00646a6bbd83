#include "config/PlantConfigReader.h"

#include "text/HostText.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <system_error>

namespace {

namespace fs = std::filesystem;

using Environment = PlantConfigReader::Environment;

constexpr std::int64_t kMaxTimeoutMs = 600000;
constexpr std::int64_t kMaxRetries = 10;
constexpr std::int64_t kMaxIntervalMs = 60000;
constexpr std::int64_t kLastAddress = 65535;
constexpr std::int64_t kMinPublishMs = 10;
constexpr std::int64_t kMaxPublishMs = 3600000;
constexpr std::int64_t kMaxResendMs = 86400000;
constexpr std::size_t kMaxPublishEntries = 10000;

// Where errors go and what tokens are looked up in, for one read.
struct Context {
    Diagnostics& diagnostics;
    const Environment& environment;
    fs::path folder; // the configuration file's

    void Error(const toml::node& node, const std::string& message) const {
        diagnostics.Error(node.source().begin.line, message);
    }
};

std::string List(std::initializer_list<std::string_view> names) {
    std::string text;
    for (const std::string_view name : names) {
        text += (text.empty() ? "" : ", ") + std::string(name);
    }
    return text;
}

// Each key the table may not hold is an error at its line: a typo must not pass silently.
void CheckKeys(const Context& context, const toml::table& table, const std::string& where,
               std::initializer_list<std::string_view> known) {
    for (auto&& [key, node] : table) {
        if (std::find(known.begin(), known.end(), key.str()) != known.end()) {
            continue;
        }
        const std::size_t line =
            key.source().begin.line != 0 ? key.source().begin.line : node.source().begin.line;
        context.diagnostics.Error(line, where + ": unknown key " + Quoted(key.str()) +
                                            " (known: " + List(known) + ")");
    }
}

std::optional<std::string> StringAt(const Context& context, const toml::table& table,
                                    std::string_view key, const std::string& where) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (const auto* text = node->as_string()) {
        return text->get();
    }
    context.Error(*node, where + ": " + std::string(key) + " must be a string");
    return std::nullopt;
}

std::optional<std::int64_t> IntegerAt(const Context& context, const toml::table& table,
                                      std::string_view key, const std::string& where,
                                      std::int64_t lowest, std::int64_t highest) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    const auto* integer = node->as_integer();
    if (integer != nullptr && integer->get() >= lowest && integer->get() <= highest) {
        return integer->get();
    }
    std::string message = where + ": " + std::string(key) + " must be a whole number from " +
                          std::to_string(lowest) + " to " + std::to_string(highest);
    if (integer != nullptr) {
        message += ", not " + std::to_string(integer->get());
    }
    context.Error(*node, message);
    return std::nullopt;
}

std::optional<bool> BooleanAt(const Context& context, const toml::table& table,
                              std::string_view key, const std::string& where) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    if (const auto* flag = node->as_boolean()) {
        return flag->get();
    }
    context.Error(*node, where + ": " + std::string(key) + " must be true or false");
    return std::nullopt;
}

std::optional<double> NumberAt(const Context& context, const toml::table& table,
                               std::string_view key, const std::string& where) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return std::nullopt;
    }
    std::optional<double> number;
    if (const auto* real = node->as_floating_point()) {
        number = real->get();
    } else if (const auto* integer = node->as_integer()) {
        number = static_cast<double>(integer->get());
    }
    if (number && *number >= 0 && std::isfinite(*number)) {
        return number;
    }
    context.Error(*node, where + ": " + std::string(key) + " must be a number of 0 or more");
    return std::nullopt;
}

// Text a topic level or client id may hold: no control character, no MQTT wildcard.
bool PlainTopicText(const std::string& text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        return c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

// A required key: an error at the table's line when it is absent.
bool Present(const Context& context, const toml::table& table, std::string_view key,
             const std::string& where, const std::string& what) {
    if (table.contains(key)) {
        return true;
    }
    context.Error(table, where + ": " + std::string(key) + " is missing (" + what + ")");
    return false;
}

const toml::table* TableOf(const Context& context, const toml::node& node,
                           const std::string& where) {
    const auto* table = node.as_table();
    if (table == nullptr) {
        context.Error(node, where + " must be a table");
    }
    return table;
}

// A token given as KEY = "..." or named by KEY_env = "VARIABLE".
PlantConfig::Token ReadToken(const Context& context, const toml::table& table,
                             const std::string& key, const std::string& where) {
    const std::string envKey = key + "_env";
    const auto direct = StringAt(context, table, key, where);
    const auto variable = StringAt(context, table, envKey, where);
    if (table.contains(key) && table.contains(envKey)) {
        context.Error(*table.get(envKey), where + ": give " + key + " or " + envKey + ", not both");
        return {};
    }
    if (direct) {
        if (direct->empty()) {
            context.Error(*table.get(key), where + ": " + key + " is empty");
            return {{}, key};
        }
        return {*direct, key};
    }
    if (!variable) {
        return {};
    }
    const toml::node& at = *table.get(envKey);
    const auto value = variable->empty() ? std::nullopt : context.environment(*variable);
    if (!value || value->empty()) {
        context.Error(at, where + ": " + envKey + " names the environment variable " +
                              Quoted(*variable) + ", which is " + (value ? "empty" : "not set"));
        return {{}, "$" + *variable};
    }
    return {*value, "$" + *variable};
}

void ReadService(const Context& context, const toml::node& node, PlantConfig::Service& service) {
    const std::string where = "[service]";
    const toml::table* table = TableOf(context, node, where);
    if (table == nullptr) {
        return;
    }
    CheckKeys(context, *table, where,
              {"bind", "port", "write_token", "write_token_env", "read_token", "read_token_env"});
    if (const auto bind = StringAt(context, *table, "bind", where)) {
        if (bind->empty() || bind->find_first_of(" \t/") != std::string::npos) {
            context.Error(*table->get("bind"),
                          where + ": bind " + Quoted(*bind) + " is not an address to listen on");
        } else {
            service.bind = *bind;
        }
    }
    if (const auto port = IntegerAt(context, *table, "port", where, 0, kLastAddress)) {
        service.port = static_cast<std::uint16_t>(*port);
    }
    service.writeToken = ReadToken(context, *table, "write_token", where);
    service.readToken = ReadToken(context, *table, "read_token", where);
}

// [plc.NAME.bases]: AREA = first register (or bit), or false for no Modbus place.
void ReadBases(const Context& context, const toml::node& node, const std::string& where,
               RegisterMap& map) {
    const toml::table* table = TableOf(context, node, where + " bases");
    if (table == nullptr) {
        return;
    }
    for (auto&& [key, value] : *table) {
        const auto area = RegisterMap::AreaNamed(key.str());
        if (!area) {
            context.Error(value, where + " bases: " + Quoted(key.str()) +
                                     " is not an area (IX, QX, IW, QW, M, MW, MD, ML)");
            continue;
        }
        const auto* flag = value.as_boolean();
        if (flag != nullptr && !flag->get()) {
            map.SetBase(*area, std::nullopt);
            continue;
        }
        const auto* integer = value.as_integer();
        if (integer == nullptr || integer->get() < 0 || integer->get() > kLastAddress) {
            context.Error(value, where + " bases: " + std::string(key.str()) +
                                     " must be an address from 0 to 65535, or false");
            continue;
        }
        map.SetBase(*area, static_cast<std::uint32_t>(integer->get()));
    }
}

void ReadPlcOptions(const Context& context, const toml::table& table, const std::string& where,
                    PlantConfig::Plc& plc) {
    if (const auto map = StringAt(context, table, "map", where)) {
        const auto named = RegisterMap::Named(*map);
        if (named) {
            plc.map = *named;
        } else {
            context.Error(*table.get("map"), where + ": map " + Quoted(*map) +
                                                 " is not a register map (" +
                                                 RegisterMap::KnownNames() + ")");
        }
    }
    if (const auto order = StringAt(context, table, "word_order", where)) {
        if (*order == "high-first" || *order == "low-first") {
            plc.wordOrder = *order == "high-first" ? ModbusMemory::WordOrder::HighFirst
                                                   : ModbusMemory::WordOrder::LowFirst;
        } else {
            context.Error(*table.get("word_order"), where + ": word_order " + Quoted(*order) +
                                                        " is not high-first or low-first");
        }
    }
    if (const auto timeout = IntegerAt(context, table, "timeout_ms", where, 1, kMaxTimeoutMs)) {
        plc.timeout = std::chrono::milliseconds(*timeout);
    }
    if (const auto most = IntegerAt(context, table, "max_registers", where, 1, 125)) {
        plc.maxRegisters = static_cast<std::uint32_t>(*most);
    }
    if (const auto most = IntegerAt(context, table, "max_coils", where, 1, 2000)) {
        plc.maxCoils = static_cast<std::uint32_t>(*most);
    }
    if (const auto retries = IntegerAt(context, table, "retries", where, 0, kMaxRetries)) {
        plc.retries = static_cast<unsigned>(*retries);
    }
    if (const auto interval =
            IntegerAt(context, table, "min_interval_ms", where, 0, kMaxIntervalMs)) {
        plc.minInterval = std::chrono::milliseconds(*interval);
    }
    if (const toml::node* bases = table.get("bases")) {
        ReadBases(context, *bases, where, plc.map);
    }
}

// The endpoint, also when some of its values are wrong, so that its programs find it.
std::optional<PlantConfig::Plc> ReadPlc(const Context& context, const std::string& name,
                                        const toml::node& node) {
    const std::string where = "[plc." + TerminalText(name) + "]";
    const toml::table* table = TableOf(context, node, where);
    if (table == nullptr) {
        return std::nullopt;
    }
    CheckKeys(context, *table, where,
              {"modbus", "map", "word_order", "timeout_ms", "max_registers", "max_coils", "retries",
               "min_interval_ms", "bases"});
    PlantConfig::Plc plc;
    plc.name = name;
    plc.line = table->source().begin.line;
    if (Present(context, *table, "modbus", where, "HOST[:PORT][/UNIT]")) {
        if (const auto text = StringAt(context, *table, "modbus", where)) {
            std::string error;
            const auto target = ModbusTarget::Parse(*text, error);
            if (target) {
                plc.target = *target;
            } else {
                context.Error(*table->get("modbus"),
                              where + ": modbus " + Quoted(*text) + ": " + error);
            }
        }
    }
    ReadPlcOptions(context, *table, where, plc);
    return plc;
}

void ReadMqttBroker(const Context& context, const toml::table& table, const std::string& where,
                    PlantConfig::Mqtt& mqtt) {
    if (Present(context, table, "host", where, "the broker's host name or address")) {
        if (const auto host = StringAt(context, table, "host", where)) {
            if (host->empty() || host->find_first_of(" \t/") != std::string::npos) {
                context.Error(*table.get("host"),
                              where + ": host " + Quoted(*host) + " is not a host name or address");
            } else {
                mqtt.host = *host;
            }
        }
    }
    if (const auto port = IntegerAt(context, table, "port", where, 1, kLastAddress)) {
        mqtt.port = static_cast<std::uint16_t>(*port);
    }
    if (const auto id = StringAt(context, table, "client_id", where)) {
        if (id->empty() || id->size() > 200 || !PlainTopicText(*id)) {
            context.Error(
                *table.get("client_id"),
                where + ": client_id " + Quoted(*id) +
                    " must be 1 to 200 characters without '+', '#' or control characters");
        } else {
            mqtt.clientId = *id;
        }
    }
}

void ReadMqttSecurity(const Context& context, const toml::table& table, const std::string& where,
                      PlantConfig::Mqtt& mqtt) {
    if (const auto user = StringAt(context, table, "username", where)) {
        mqtt.username = *user;
    }
    mqtt.password = ReadToken(context, table, "password", where);
    if (mqtt.username.empty() && (table.contains("password") || table.contains("password_env"))) {
        context.Error(table, where + ": a password is given without a username");
    }
    if (const auto ca = StringAt(context, table, "ca_file", where)) {
        const fs::path written(*ca);
        const fs::path file =
            (written.is_absolute() ? written : context.folder / written).lexically_normal();
        std::error_code error;
        if (ca->empty() || !fs::is_regular_file(file, error) || !std::ifstream(file)) {
            context.Error(*table.get("ca_file"), where + ": ca_file " + Quoted(file.string()) +
                                                     " is not a file that can be read");
        } else {
            mqtt.caFile = file;
        }
    }
}

// A topic prefix: one or more levels, none empty, no wildcard; not a broker's "$" topic.
bool IsTopicPrefix(const std::string& prefix) {
    return !prefix.empty() && prefix.size() <= 200 && PlainTopicText(prefix) &&
           prefix.front() != '/' && prefix.back() != '/' && prefix.front() != '$' &&
           prefix.find("//") == std::string::npos;
}

std::optional<PlantConfig::Mqtt> ReadMqtt(const Context& context, const toml::node& node) {
    const std::string where = "[mqtt]";
    const toml::table* table = TableOf(context, node, where);
    if (table == nullptr) {
        return std::nullopt;
    }
    CheckKeys(context, *table, where,
              {"host", "port", "client_id", "username", "password", "password_env", "ca_file",
               "qos", "topic_prefix"});
    PlantConfig::Mqtt mqtt;
    mqtt.line = table->source().begin.line;
    ReadMqttBroker(context, *table, where, mqtt);
    ReadMqttSecurity(context, *table, where, mqtt);
    if (const auto qos = IntegerAt(context, *table, "qos", where, 0, 1)) {
        mqtt.qos = static_cast<int>(*qos);
    }
    if (const auto prefix = StringAt(context, *table, "topic_prefix", where)) {
        if (IsTopicPrefix(*prefix)) {
            mqtt.topicPrefix = *prefix;
        } else {
            context.Error(*table->get("topic_prefix"),
                          where + ": topic_prefix " + Quoted(*prefix) +
                              " must be topic levels separated by '/', none empty, without '+', "
                              "'#' or a leading '$'");
        }
    }
    return mqtt;
}

void ReadPublishItems(const Context& context, const toml::node& node, const std::string& where,
                      PlantConfig::Publish& publish) {
    const auto* list = node.as_array();
    if (list == nullptr || list->empty() || list->size() > kMaxPublishEntries) {
        context.Error(node, where + ": publish must be a list of 1 to " +
                                std::to_string(kMaxPublishEntries) +
                                " names or patterns (\"Motor1.*\", \"located\", \"all\")");
        return;
    }
    for (const toml::node& entry : *list) {
        const auto* text = entry.as_string();
        if (text == nullptr || text->get().empty()) {
            context.Error(entry, where + ": each entry of publish must be a name or pattern");
            continue;
        }
        publish.items.push_back(text->get());
    }
}

void ReadProgramPublish(const Context& context, const toml::table& table, const std::string& where,
                        const PlantConfig& config, PlantConfig::Program& program) {
    PlantConfig::Publish& publish = program.publish;
    if (const toml::node* items = table.get("publish")) {
        if (!config.mqtt) {
            context.Error(*items, where + ": publish needs an [mqtt] table naming the broker");
        }
        ReadPublishItems(context, *items, where, publish);
    }
    if (const auto interval =
            IntegerAt(context, table, "publish_interval_ms", where, kMinPublishMs, kMaxPublishMs)) {
        publish.interval = std::chrono::milliseconds(*interval);
    }
    if (const auto deadband = NumberAt(context, table, "publish_deadband", where)) {
        publish.deadband = *deadband;
    }
    if (const auto resend = IntegerAt(context, table, "resend_ms", where, 0, kMaxResendMs)) {
        publish.resend = std::chrono::milliseconds(*resend);
    }
    if (!table.contains("publish")) {
        for (const std::string_view key :
             {"publish_interval_ms", "publish_deadband", "resend_ms"}) {
            if (const toml::node* node = table.get(key)) {
                context.Error(*node, where + ": " + std::string(key) +
                                         " is given but nothing is published (publish = [...])");
            }
        }
    }
}

// A dictionary name as clients give it in a URL: no folder separators or control characters.
bool IsDictionaryName(const std::string& name) {
    return !name.empty() && name.size() <= 200 &&
           std::none_of(name.begin(), name.end(),
                        [](char c) {
                            return c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ||
                                   c == 0x7F;
                        }) &&
           name != "." && name != "..";
}

void ReadProgramFile(const Context& context, const toml::table& table, const std::string& where,
                     PlantConfig::Program& program) {
    if (!Present(context, table, "file", where, "the program's PLCopen XML file")) {
        return;
    }
    const auto text = StringAt(context, table, "file", where);
    if (!text) {
        return;
    }
    const toml::node& at = *table.get("file");
    if (text->empty()) {
        context.Error(at, where + ": file is empty");
        return;
    }
    const fs::path written(*text);
    program.file = (written.is_absolute() ? written : context.folder / written).lexically_normal();
    const std::string shown = Quoted(program.file.string());
    std::error_code error;
    const fs::file_status status = fs::status(program.file, error);
    if (!fs::exists(status)) {
        context.Error(at, where + ": file " + shown + " does not exist");
    } else if (fs::is_directory(status)) {
        context.Error(at, where + ": file " + shown + " is a folder, not a program file");
    } else if (!std::ifstream(program.file, std::ios::binary)) {
        context.Error(at, where + ": file " + shown + " cannot be read");
    }
}

void ReadProgramMemory(const Context& context, const toml::table& table, const std::string& where,
                       const PlantConfig& config, PlantConfig::Program& program) {
    const auto plc = StringAt(context, table, "plc", where);
    const auto memory = StringAt(context, table, "memory", where);
    if (table.contains("plc") && table.contains("memory")) {
        context.Error(*table.get("memory"),
                      where + ": give plc = \"NAME\" or memory = \"image\", not both");
        return;
    }
    if (memory && *memory != "image") {
        context.Error(*table.get("memory"), where + ": memory " + Quoted(*memory) +
                                                " is not \"image\" (a PLC is named with plc)");
    }
    if (!plc) {
        return;
    }
    if (config.FindPlc(*plc) == nullptr) {
        std::string known;
        for (const PlantConfig::Plc& endpoint : config.plcs) {
            known += (known.empty() ? "" : ", ") + TerminalText(endpoint.name);
        }
        context.Error(*table.get("plc"),
                      where + ": plc " + Quoted(*plc) + " is not a [plc.NAME] of this file" +
                          (known.empty() ? " (it has none)" : " (" + known + ")"));
        return;
    }
    program.plc = *plc;
}

void ReadProgramWrites(const Context& context, const toml::table& table, const std::string& where,
                       const PlantConfig& config, PlantConfig::Program& program) {
    program.writable = BooleanAt(context, table, "writable", where).value_or(false);
    program.writeToken = ReadToken(context, table, "write_token", where);
    if (!program.writable && (table.contains("write_token") || table.contains("write_token_env"))) {
        context.Error(table, where + ": a write token is given but the program is not writable "
                                     "(writable = true)");
    }
    // A token that failed to read has its error already.
    if (program.writable && program.writeToken.source.empty() &&
        config.service.writeToken.source.empty()) {
        context.Error(table, where + ": writable needs a write token (write_token or "
                                     "write_token_env here or in [service]), which every write "
                                     "must then carry");
    }
}

std::optional<PlantConfig::Program> ReadProgram(const Context& context, const std::string& name,
                                                const toml::node& node, const PlantConfig& config) {
    const std::string where = "[program." + TerminalText(name) + "]";
    const toml::table* table = TableOf(context, node, where);
    if (table == nullptr) {
        return std::nullopt;
    }
    CheckKeys(context, *table, where,
              {"file", "dictionary", "plc", "memory", "writable", "write_token", "write_token_env",
               "publish", "publish_interval_ms", "publish_deadband", "resend_ms"});
    PlantConfig::Program program;
    program.name = name;
    program.line = table->source().begin.line;
    ReadProgramFile(context, *table, where, program);
    const std::string stem = program.file.stem().string();
    program.dictionary = stem.empty() ? "PLC" : stem;
    if (const auto dictionary = StringAt(context, *table, "dictionary", where)) {
        if (IsDictionaryName(*dictionary)) {
            program.dictionary = *dictionary;
        } else {
            context.Error(*table->get("dictionary"),
                          where + ": dictionary " + Quoted(*dictionary) +
                              " is not a dictionary name (1 to 200 characters, no '/' or '\\')");
        }
    }
    ReadProgramMemory(context, *table, where, config, program);
    ReadProgramWrites(context, *table, where, config, program);
    ReadProgramPublish(context, *table, where, config, program);
    return program;
}

template <typename Item> void SortByLine(std::vector<Item>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const Item& a, const Item& b) { return a.line < b.line; });
}

// Each [NAME.x] table of a section through read, in the file's order.
template <typename Item, typename ReadOne>
void ReadSection(const Context& context, const toml::table& root, std::string_view section,
                 std::vector<Item>& items, ReadOne read) {
    const toml::node* node = root.get(section);
    if (node == nullptr) {
        return;
    }
    const std::string where = "[" + std::string(section) + "]";
    const toml::table* tables = TableOf(context, *node, where);
    if (tables == nullptr) {
        return;
    }
    for (auto&& [key, value] : *tables) {
        if (auto item = read(std::string(key.str()), value)) {
            items.push_back(std::move(*item));
        }
    }
    SortByLine(items);
}

void CheckDictionaryNames(const Context& context, const PlantConfig& config) {
    std::map<std::string, const PlantConfig::Program*> seen;
    for (const PlantConfig::Program& program : config.programs) {
        const auto [first, added] = seen.emplace(program.dictionary, &program);
        if (!added) {
            context.diagnostics.Error(
                program.line, "[program." + TerminalText(program.name) + "]: dictionary " +
                                  Quoted(program.dictionary) + " is already served by [program." +
                                  TerminalText(first->second->name) + "] (line " +
                                  std::to_string(first->second->line) + ")");
        }
    }
}

} // namespace

PlantConfigReader::Environment PlantConfigReader::ProcessEnvironment() {
    return [](const std::string& name) -> std::optional<std::string> {
        const char* value = std::getenv(name.c_str()); // NOLINT(concurrency-mt-unsafe)
        return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
    };
}

PlantConfigReader::PlantConfigReader(Environment environment)
    : m_Environment(std::move(environment)) {}

std::optional<PlantConfig> PlantConfigReader::Read(const std::filesystem::path& file,
                                                   Diagnostics& diagnostics) const {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        diagnostics.Error(0, fs::exists(file, error) ? "is not a file" : "no such file");
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        diagnostics.Error(0, "cannot be read");
        return std::nullopt;
    }
    return ReadText(text.str(), file, diagnostics);
}

std::optional<PlantConfig> PlantConfigReader::ReadText(std::string_view text,
                                                       const std::filesystem::path& file,
                                                       Diagnostics& diagnostics) const {
    const std::size_t errors = diagnostics.ErrorCount();
    toml::table root;
    try {
        root = toml::parse(text, file.string());
    } catch (const toml::parse_error& error) {
        diagnostics.Error(error.source().begin.line, std::string(error.description()));
        return std::nullopt;
    }
    // Programs are found from the file's folder, whatever the working folder is later.
    std::error_code error;
    const fs::path absolute = fs::absolute(file, error);
    const Context context{diagnostics, m_Environment, (error ? file : absolute).parent_path()};
    PlantConfig config;
    config.path = file;
    CheckKeys(context, root, "the file", {"service", "plc", "program", "mqtt"});
    if (const toml::node* service = root.get("service")) {
        ReadService(context, *service, config.service);
    }
    if (const toml::node* mqtt = root.get("mqtt")) {
        config.mqtt = ReadMqtt(context, *mqtt);
    }
    ReadSection(context, root, "plc", config.plcs,
                [&](const std::string& name, const toml::node& node) {
                    return ReadPlc(context, name, node);
                });
    ReadSection(context, root, "program", config.programs,
                [&](const std::string& name, const toml::node& node) {
                    return ReadProgram(context, name, node, config);
                });
    if (config.programs.empty() && diagnostics.ErrorCount() == errors) {
        diagnostics.Error(0, "no [program.NAME]: nothing to serve");
    }
    CheckDictionaryNames(context, config);
    if (diagnostics.ErrorCount() > errors) {
        return std::nullopt;
    }
    return config;
}

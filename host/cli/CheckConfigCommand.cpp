#include "cli/CheckConfigCommand.h"

#include "cli/ExitStatus.h"
#include "config/PlantConfigReader.h"
#include "config/ProgramCheck.h"
#include "text/HostText.h"
#include "json/CoreJson.h"
#include "json/PlantJson.h"

#include <algorithm>

namespace {

std::string TokenText(const PlantConfig::Token& token) {
    return token.source == "write_token" || token.source == "read_token" ||
                   token.source == "password"
               ? "given in the file"
               : "from " + TerminalText(token.source);
}

std::string MapText(const RegisterMap& map) {
    std::string text = "map " + map.Name();
    if (!map.Overridden()) {
        return text;
    }
    text += " (bases:";
    for (std::size_t i = 0; i < RegisterMap::kAreaCount; ++i) {
        const auto area = static_cast<RegisterMap::Area>(i);
        const auto base = map.Base(area);
        text += " " + RegisterMap::AreaName(area) + " " + (base ? std::to_string(*base) : "none");
    }
    return text + ")";
}

void PrintService(const PlantConfig::Service& service, std::ostream& out) {
    out << "service        " << TerminalText(service.bind) << ":" << service.port
        << (service.writeToken.Given() ? "; write token " + TokenText(service.writeToken) : "")
        << (service.readToken.Given() ? "; read token " + TokenText(service.readToken)
                                      : "; no read token")
        << '\n';
}

void PrintMqtt(const PlantConfig::Mqtt& mqtt, std::ostream& out) {
    out << "mqtt           " << TerminalText(mqtt.host) << ":" << mqtt.port << ", QoS " << mqtt.qos
        << ", topics under " << TerminalText(mqtt.topicPrefix) << "/, client id "
        << (mqtt.clientId.empty() ? "varbank-<host name>-<dictionary>"
                                  : TerminalText(mqtt.clientId))
        << (mqtt.username.empty() ? "" : ", user " + TerminalText(mqtt.username))
        << (mqtt.password.Given() ? ", password " + TokenText(mqtt.password) : "")
        << (mqtt.caFile.empty() ? ", no TLS"
                                : ", TLS with CA " + TerminalText(mqtt.caFile.string()))
        << '\n';
}

void PrintPublish(const PlantConfig::Publish& publish, std::ostream& out) {
    std::string items;
    for (const std::string& item : publish.items) {
        items += (items.empty() ? "" : ", ") + TerminalText(item);
    }
    out << "               publishes " << items << " every " << publish.interval.count()
        << " ms, deadband " << publish.deadband << ", "
        << (publish.resend.count() == 0
                ? std::string("no resend")
                : "resent every " + std::to_string(publish.resend.count()) + " ms")
        << '\n';
}

void PrintPlc(const PlantConfig::Plc& plc, std::ostream& out) {
    out << "plc            " << TerminalText(plc.name) << ": " << TerminalText(plc.target.Text())
        << ", " << MapText(plc.map) << ", word order " << PlantJson::WordOrderName(plc.wordOrder)
        << ", timeout " << plc.timeout.count() << " ms, at most " << plc.maxRegisters
        << " registers and " << plc.maxCoils << " coils a request, " << plc.retries
        << (plc.retries == 1 ? " retry" : " retries") << ", " << plc.minInterval.count()
        << " ms between requests\n";
}

void PrintProgram(const PlantConfig& config, const PlantConfig::Program& program,
                  const ProgramCheck::Outcome& outcome, std::ostream& out) {
    out << "program        " << TerminalText(program.name) << ": "
        << TerminalText(program.file.string()) << " as dictionary "
        << TerminalText(program.dictionary) << ", "
        << (program.OnImage() ? "on the memory image" : "on plc " + TerminalText(program.plc))
        << ", "
        << (program.writable ? "writable (token " + TokenText(config.WriteTokenOf(program)) + ")"
                             : "read-only");
    if (outcome.imported) {
        out << ": imports, " << outcome.variables
            << (outcome.variables == 1 ? " variable\n" : " variables\n");
    } else {
        out << ": does not import\n";
    }
    if (program.publish.Any()) {
        PrintPublish(program.publish, out);
    }
    if (outcome.imported) {
        return;
    }
    for (const std::string& error : outcome.errors) {
        out << "               " << error << '\n';
    }
}

} // namespace

int CheckConfigCommand::Run(const std::string& path, bool strict, OutputFormat format,
                            std::ostream& out, std::ostream& err) {
    Diagnostics report(TerminalText(path));
    const auto config = PlantConfigReader().Read(path, report);
    if (!config) {
        if (format == OutputFormat::Json) {
            nlohmann::json errors = nlohmann::json::array();
            for (const Diagnostics::Entry& entry : report.InLineOrder()) {
                errors.push_back(report.Format(entry));
            }
            out << CoreJson::Text({{"valid", false}, {"errors", errors}}) << '\n';
        }
        report.Print(err);
        return kExitBadInput;
    }
    std::vector<ProgramCheck::Outcome> outcomes;
    for (const PlantConfig::Program& program : config->programs) {
        outcomes.push_back(ProgramCheck::Import(program, strict));
    }
    const bool valid =
        std::all_of(outcomes.begin(), outcomes.end(),
                    [](const ProgramCheck::Outcome& outcome) { return outcome.imported; });
    if (format == OutputFormat::Json) {
        nlohmann::json document = PlantJson::Config(*config, outcomes);
        document["valid"] = valid;
        out << CoreJson::Text(document) << '\n';
    } else {
        out << "configuration  " << TerminalText(path) << '\n';
        PrintService(config->service, out);
        if (config->mqtt) {
            PrintMqtt(*config->mqtt, out);
        }
        for (const PlantConfig::Plc& plc : config->plcs) {
            PrintPlc(plc, out);
        }
        for (std::size_t i = 0; i < config->programs.size(); ++i) {
            PrintProgram(*config, config->programs[i], outcomes[i], out);
        }
    }
    if (!valid) {
        err << TerminalText(path) << ": a program does not import\n";
        return kExitBadInput;
    }
    return kExitDone;
}

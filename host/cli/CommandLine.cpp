#include "cli/CommandLine.h"

#include "cli/BrowseCommand.h"
#include "cli/CheckConfigCommand.h"
#include "cli/DumpCommand.h"
#include "cli/ExitStatus.h"
#include "cli/InfoCommand.h"
#include "cli/ReadCommand.h"
#include "cli/ResolveCommand.h"
#include "cli/SignalStop.h"
#include "cli/StampCommand.h"
#include "cli/WatchCommand.h"
#include "cli/WriteCommand.h"
#include "service/ServeCommand.h"
#include "text/HostText.h"
#include "values/ModbusTarget.h"
#include "values/RegisterMap.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

namespace {

// What the flags shared by every command ask for.
struct Common {
    bool json = false;
    bool trace = false;
    bool strict = false;

    OutputFormat Format() const { return json ? OutputFormat::Json : OutputFormat::Text; }
};

// Where read, write and serve find the values.
struct MemoryFlags {
    std::string modbus;
    ModbusMemory::WordOrder wordOrder = ModbusMemory::WordOrder::HighFirst;
    unsigned timeoutMs = 1000;
    std::string map = "open-runtime";
};

const std::map<std::string, ModbusMemory::WordOrder> kWordOrders = {
    {"high-first", ModbusMemory::WordOrder::HighFirst},
    {"low-first", ModbusMemory::WordOrder::LowFirst}};

void AddMemoryOptions(CLI::App& command, MemoryFlags& flags) {
    command.add_option("--modbus", flags.modbus,
                       "read the PLC over Modbus TCP at HOST[:PORT][/UNIT] (port 502, unit 1)");
    command
        .add_option("--word-order", flags.wordOrder,
                    "register order of 32- and 64-bit values over Modbus")
        ->transform(CLI::CheckedTransformer(kWordOrders))
        ->default_str("high-first");
    command
        .add_option("--map", flags.map,
                    "where located variables lie in the PLC's Modbus tables: open-runtime "
                    "(%MW from holding register 1024) or flat (%MWn holding register n)")
        ->check(CLI::IsMember({"open-runtime", "flat"}))
        ->capture_default_str();
    command.add_option("--timeout", flags.timeoutMs, "Modbus timeout in milliseconds")
        ->check(CLI::Range(1U, 600000U))
        ->capture_default_str();
}

void AddServeOptions(CLI::App& serve, ServeCommand::Options& options) {
    serve.add_option("PATH", options.paths, "PLCopen XML files, or folders of them");
    serve.add_option("--config", options.config,
                     "serve what a plant's configuration file (TOML) names, instead of PATHs, "
                     "and follow its changes");
    serve.add_option("--bind", options.bind, "address to listen on")->capture_default_str();
    serve.add_option("--port", options.port, "port to listen on (0: any free port)")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    serve.add_option("--threads", options.threads, "worker threads (default: one per core)")
        ->check(CLI::Range(1U, 1024U));
    serve
        .add_option("--poll-us", options.pollMicroseconds,
                    "after a request, a thread polls this many microseconds for the next "
                    "before it sleeps (0: sleep at once)")
        ->capture_default_str()
        ->check(CLI::Range(0U, 10000U));
    serve
        .add_option("--watch-ms", options.watchMilliseconds,
                    "how often the files are checked for changes, in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(10U, 3600000U));
    serve
        .add_option("--opcua-port", options.opcuaPort,
                    "also serve the dictionaries over OPC UA on this port (0: any free port)")
        ->check(CLI::Range(0, 65535));
    serve.add_option("--state", options.stateFolder,
                     "where the service keeps what it makes, such as the OPC UA server's "
                     "certificates (default: $XDG_STATE_HOME/varbank or ~/.local/state/varbank)");
    serve.add_option("--mqtt", options.mqtt,
                     "publish every located variable of every program to this MQTT broker "
                     "(HOST[:PORT], port 1883 by default)");
    serve.add_flag("--verbose", options.verbose, "log one line per request");
    serve.add_flag("--writable", options.writes.writable,
                   "accept writes of values (PUT .../values), with the token of --token");
    serve.add_option("--token", options.writes.token,
                     "the bearer token a write needs (default: $VARBANK_TOKEN)");
    serve
        .add_option("--max-connections", options.maxConnections,
                    "client connections held at most (default: from the descriptor limit)")
        ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
    serve
        .add_option("--max-subscriptions", options.maxSubscriptions,
                    "subscriptions (WebSocket and event-stream clients) held at most")
        ->capture_default_str()
        ->check(CLI::Range(std::size_t{1}, std::size_t{1000000}));
    serve
        .add_option("--allowed-host", options.allowedHosts,
                    "a host name clients may use besides IP addresses and localhost "
                    "(repeatable)")
        ->check(CLI::Validator(
            [](const std::string& name) -> std::string {
                const bool plain =
                    !name.empty() && name.find_first_of(":/[] \t") == std::string::npos;
                return plain ? "" : "'" + name + "' is not a host name (give it without port)";
            },
            "NAME"));
}

constexpr std::uint64_t kDay = 86400000; // milliseconds

// What watch asks for besides the names.
struct WatchFlags {
    std::uint64_t intervalMs = 0; // 0: not given
    double deadband = 0;
    std::size_t count = 0;
};

// A whole number of 1 or more, else `message`.
CLI::Validator PositiveWhole(const std::string& message, const std::string& name) {
    return CLI::Validator(
        [message](const std::string& text) -> std::string {
            std::uint64_t value = 0;
            const auto [end, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            const bool whole = error == std::errc() && end == text.data() + text.size();
            return whole && value > 0 ? "" : message;
        },
        name);
}

void AddWatchOptions(CLI::App& watch, WatchFlags& flags) {
    watch
        .add_option("--interval", flags.intervalMs,
                    "sampling interval in milliseconds (default 1000; at least 10 on the memory "
                    "image and 50 on a PLC, at most one hour)")
        ->check(PositiveWhole("the interval must be a whole number of 1 ms or more", "MS"));
    watch
        .add_option("--deadband", flags.deadband,
                    "a number is shown again only once it moved by more than this")
        ->check(CLI::Validator(
            [](const std::string& text) -> std::string {
                char* end = nullptr;
                const double value = std::strtod(text.c_str(), &end);
                const bool number = !text.empty() && end == text.c_str() + text.size();
                return number && std::isfinite(value) && value >= 0
                           ? ""
                           : "the deadband must be a number of 0 or more";
            },
            "X"));
    watch.add_option("--count", flags.count, "stop after this many changes (default: Ctrl-C)")
        ->check(PositiveWhole("the count must be a whole number of 1 or more", "N"));
}

// Serve takes PATHs or a configuration, whose file then says what the command line would.
bool ServeSourcesFit(const CLI::App& command, const ServeCommand::Options& serve,
                     std::ostream& err) {
    if (serve.config.empty()) {
        if (serve.paths.empty()) {
            err << "serve: give the PLCopen files or folders to serve, or --config FILE\n";
            return false;
        }
        return true;
    }
    if (!serve.paths.empty()) {
        err << "serve: --config names the programs to serve; give no PATH with it\n";
        return false;
    }
    for (const char* option :
         {"--modbus", "--map", "--word-order", "--timeout", "--writable", "--token"}) {
        if (command.count(option) > 0) {
            err << "serve: " << option
                << " is given in the configuration file with --config (its [plc] and "
                   "[program] tables)\n";
            return false;
        }
    }
    return true;
}

// The memory choice of the flags; nothing, with the reason on err, for a malformed target.
std::optional<MemoryChoice> MemoryOf(const MemoryFlags& flags, std::ostream& err) {
    MemoryChoice choice;
    if (flags.modbus.empty()) {
        return choice;
    }
    std::string error;
    const auto target = ModbusTarget::Parse(flags.modbus, error);
    if (!target) {
        err << "--modbus: '" << TerminalText(flags.modbus) << "': " << error << '\n';
        return std::nullopt;
    }
    choice.kind = MemoryKind::Modbus;
    choice.modbus.target = *target;
    choice.modbus.wordOrder = flags.wordOrder;
    choice.modbus.timeout = std::chrono::milliseconds(flags.timeoutMs);
    choice.modbus.map = RegisterMap::Named(flags.map).value_or(RegisterMap::OpenRuntime());
    return choice;
}

// Opens a program with the command's flags; its import report goes to err.
std::shared_ptr<Program> OpenProgram(const std::string& path, const Common& common,
                                     const MemoryChoice& memory, std::ostream& err) {
    Diagnostics report(TerminalText(path));
    ProgramOptions options;
    options.strict = common.strict;
    options.memory = memory;
    options.traceEcho = common.trace ? &err : nullptr;
    std::shared_ptr<Program> program = Program::Open(path, options, report);
    report.Print(err);
    return program;
}

} // namespace

CommandLine::CommandLine(std::ostream& out, std::ostream& err) : m_Out(out), m_Err(err) {}

int CommandLine::Run(int argc, const char* const* argv) {
    Common common;
    std::string file;
    std::string other;
    std::vector<std::string> names;
    std::string directory;
    std::string varType;
    std::string columns;
    BrowseOptions browse;
    MemoryFlags memory;
    WatchFlags watchFlags;
    ServeCommand::Options serve;
    // The subcommand that was parsed, run once the whole line is known.
    std::function<int()> command;
    const auto withProgram = [&](auto run) {
        return [&, run] {
            const auto choice = MemoryOf(memory, m_Err);
            if (!choice) {
                return static_cast<int>(kExitBadInput);
            }
            const auto program = OpenProgram(file, common, *choice, m_Err);
            return program ? run(*program) : static_cast<int>(kExitBadInput);
        };
    };

    CLI::App app{"varbank: serve the symbols of a PLCopen XML program through the Varbank "
                 "dictionary"};
    app.require_subcommand(1);
    app.fallthrough();
    app.add_flag("--json", common.json, "print JSON");
    app.add_flag("--trace", common.trace, "print the dictionary's trace messages to stderr");
    app.add_flag("--strict", common.strict,
                 "refuse a file that uses types it does not declare (library types)");

    CLI::App* resolve = app.add_subcommand("resolve", "resolve item names to PLC positions");
    resolve->add_option("FILE", file, "PLCopen XML file")->required();
    resolve->add_option("NAME", names, "item names, such as MOTOR1.SPEED or TAB[4]")->required();
    resolve->callback([&] {
        command = withProgram([&](const Program& program) {
            return ResolveCommand::Run(program, names, common.Format(), m_Out);
        });
    });

    CLI::App* browseCommand = app.add_subcommand("browse", "list the children of a position");
    browseCommand->add_option("FILE", file, "PLCopen XML file")->required();
    browseCommand->add_option("PATH", browse.path, "position to list; the root when omitted");
    browseCommand
        ->add_option("--pattern", browse.pattern, "name filter: a prefix, optionally ending in *")
        ->capture_default_str();
    browseCommand->add_option("--type", varType,
                              "only children of this variant type (2, I2, BOOL, ...)");
    CLI::Option* leaves = browseCommand->add_flag_callback(
        "--leaves", [&] { browse.kind = BrowseKind::Leaves; }, "list leaves (elementary children)");
    CLI::Option* branches = browseCommand->add_flag_callback(
        "--branches", [&] { browse.kind = BrowseKind::Branches; },
        "list branches (children with children)");
    CLI::Option* branchesOnly = browseCommand->add_flag_callback(
        "--branches-only", [&] { browse.kind = BrowseKind::BranchesOnly; }, "list branches only");
    leaves->excludes(branches)->excludes(branchesOnly);
    branches->excludes(branchesOnly);
    browseCommand->add_option("--columns", columns,
                              "add columns: A address, C comment (for example AC)");
    browseCommand->add_option("--page-size", browse.pageSize, "children per page (paged listing)")
        ->check(CLI::Range(1U, 1000000U));
    browseCommand->callback([&] {
        command = [&]() -> int {
            if (browse.pageSize > 0 && !columns.empty()) {
                m_Err << "--page-size lists item identifiers and cannot be combined with "
                         "--columns\n";
                return kExitBadInput;
            }
            if (!varType.empty()) {
                const auto parsed = ParseVarType(varType);
                if (!parsed) {
                    m_Err << "--type: '" << TerminalText(varType) << "' is not a variant type\n";
                    return kExitBadInput;
                }
                browse.varType = *parsed;
            }
            return withProgram([&](const Program& program) {
                return BrowseCommand::Run(program, browse, columns, common.Format(), m_Out, m_Err);
            })();
        };
    });

    CLI::App* stamp = app.add_subcommand("stamp", "compare the stamps of two builds");
    stamp->add_option("FILE", file, "PLCopen XML file")->required();
    stamp->add_option("OTHER", other, "the build running in the PLC")->required();
    stamp->callback([&] {
        command = [&]() -> int {
            const MemoryChoice image; // a named one: GCC's optimiser misreads a temporary here
            const auto built = OpenProgram(file, common, image, m_Err);
            const auto running = built ? OpenProgram(other, common, image, m_Err) : nullptr;
            if (!built || !running) {
                return kExitBadInput;
            }
            return StampCommand::Run(*built, *running, common.Format(), m_Out);
        };
    });

    CLI::App* dump = app.add_subcommand("dump", "write the quick-save dump");
    dump->add_option("FILE", file, "PLCopen XML file")->required();
    dump->add_option("--dir", directory, "directory of the dump file")->required();
    dump->callback([&] {
        command = [&]() -> int {
            std::error_code error;
            if (!std::filesystem::is_directory(directory, error)) {
                m_Err << TerminalText(directory) << ": no such directory\n";
                return kExitBadInput;
            }
            return withProgram([&](const Program& program) {
                return DumpCommand::Run(program, directory, common.Format(), m_Out, m_Err);
            })();
        };
    });

    CLI::App* info = app.add_subcommand("info", "count what the dictionary holds");
    info->add_option("FILE", file, "PLCopen XML file")->required();
    info->callback([&] {
        command = withProgram([&](const Program& program) {
            return InfoCommand::Run(program, common.Format(), m_Out);
        });
    });

    CLI::App* read = app.add_subcommand("read", "read the values of item names");
    read->add_option("FILE", file, "PLCopen XML file")->required();
    read->add_option("NAME", names, "item names, such as MOTOR1.SPEED or STATUS.3")->required();
    AddMemoryOptions(*read, memory);
    read->callback([&] {
        command = withProgram([&](const Program& program) {
            return ReadCommand::Run(program, names, common.Format(), m_Out);
        });
    });

    CLI::App* watch = app.add_subcommand("watch", "print values as they change, until Ctrl-C");
    watch->add_option("FILE", file, "PLCopen XML file")->required();
    watch->add_option("NAME", names, "item names; a structure or array stands for its leaves")
        ->required();
    AddMemoryOptions(*watch, memory);
    AddWatchOptions(*watch, watchFlags);
    watch->callback([&] {
        command = [&]() -> int {
            const auto choice = MemoryOf(memory, m_Err);
            if (!choice) {
                return kExitBadInput;
            }
            // Before the program opens, so that no thread of its memory takes Ctrl-C.
            SignalStop signals;
            const std::shared_ptr<const Program> program =
                OpenProgram(file, common, *choice, m_Err);
            if (!program) {
                return kExitBadInput;
            }
            WatchCommand::Options options;
            options.names = names;
            if (watchFlags.intervalMs > 0) {
                // Past an hour the sampler lowers it, with a note; kept within range here.
                const std::uint64_t capped = std::min<std::uint64_t>(watchFlags.intervalMs, kDay);
                options.interval = std::chrono::milliseconds(static_cast<std::int64_t>(capped));
            }
            options.deadband = watchFlags.deadband;
            options.count = watchFlags.count;
            return WatchCommand::Run(program, options, signals, common.Format(), m_Out, m_Err);
        };
    });

    CLI::App* write = app.add_subcommand("write", "write values to a PLC over Modbus TCP");
    write->add_option("FILE", file, "PLCopen XML file")->required();
    write->add_option("ASSIGNMENT", names, "NAME=VALUE, such as Motor1.Speed=1500")->required();
    AddMemoryOptions(*write, memory);
    write->callback([&] {
        command = [&]() -> int {
            if (memory.modbus.empty()) {
                m_Err << "write: needs --modbus HOST[:PORT][/UNIT]; the memory image lives only "
                         "for one command, so a write into it would be lost\n";
                return kExitBadInput;
            }
            return withProgram([&](const Program& program) {
                return WriteCommand::Run(program, names, common.Format(), m_Out, m_Err);
            })();
        };
    });

    CLI::App* checkConfig = app.add_subcommand(
        "check-config", "check a plant's configuration file and print what it would serve");
    checkConfig->add_option("FILE", file, "the configuration (TOML)")->required();
    checkConfig->callback([&] {
        command = [&]() -> int {
            return CheckConfigCommand::Run(file, common.strict, common.Format(), m_Out, m_Err);
        };
    });

    CLI::App* serveCommand =
        app.add_subcommand("serve", "serve dictionaries over HTTP until Ctrl-C");
    AddServeOptions(*serveCommand, serve);
    AddMemoryOptions(*serveCommand, memory);
    serveCommand->callback([&] {
        command = [&]() -> int {
            if (!ServeSourcesFit(*serveCommand, serve, m_Err)) {
                return kExitBadInput;
            }
            const auto choice = MemoryOf(memory, m_Err);
            if (!choice) {
                return kExitBadInput;
            }
            serve.bindGiven = serveCommand->count("--bind") > 0;
            serve.portGiven = serveCommand->count("--port") > 0;
            serve.programs.strict = common.strict;
            serve.programs.memory = *choice;
            const char* token = std::getenv("VARBANK_TOKEN");
            if (serve.writes.token.empty() && token != nullptr) {
                serve.writes.token = token;
            }
            if (serve.writes.writable && serve.writes.token.empty() && serve.config.empty()) {
                m_Err << "serve: --writable needs a token (--token or $VARBANK_TOKEN), which "
                         "every write must then carry\n";
                return kExitBadInput;
            }
            return ServeCommand(serve, m_Out, m_Err).Run();
        };
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, m_Out, m_Err);
        return status == 0 ? kExitDone : kExitBadInput;
    }
    // The dictionary reports only allocation and file failures as exceptions.
    try {
        return command();
    } catch (const std::exception& error) {
        m_Err << "varbank " << app.get_subcommands().front()->get_name() << ": " << error.what()
              << '\n';
        return kExitRefused;
    }
}

#include "cli/CommandLine.h"

#include "commands/BrowseCommand.h"
#include "commands/DumpCommand.h"
#include "commands/ExitStatus.h"
#include "commands/HostSession.h"
#include "commands/InfoCommand.h"
#include "commands/ResolveCommand.h"
#include "commands/StagingDirectory.h"
#include "commands/StampCommand.h"
#include "import/NameText.h"
#include "service/ServeCommand.h"
#include "values/LiveValues.h"
#include "values/ModbusTarget.h"
#include "values/ReadCommand.h"
#include "values/WriteCommand.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>

struct CommandLine::Settings {
    std::string command;
    bool json = false;
    bool trace = false;
    bool strict = false;
    std::string file;
    std::string other;
    std::vector<std::string> names;
    std::string directory;
    std::string varType;
    BrowseCommand::Options browse;
    ServeCommand::Options serve;
    // read and write: where the values are
    std::string modbus;
    std::string wordOrder = "high-first";
    unsigned timeoutMs = 1000;
};

namespace {

void AddBrowseOptions(CLI::App& browse, BrowseCommand::Options& options, std::string& varType) {
    browse.add_option("PATH", options.path, "position to list; the root when omitted");
    browse
        .add_option("--pattern", options.pattern, "name filter: a prefix, optionally ending in *")
        ->capture_default_str();
    browse.add_option("--type", varType, "only children of this variant type (2, I2, BOOL, ...)");
    browse.add_flag("--leaves", options.leaves, "list leaves (elementary children)");
    browse.add_flag("--branches", options.branches, "list branches (children with children)");
    browse.add_flag("--branches-only", options.branchesOnly, "list branches only");
    browse.add_option("--columns", options.columns,
                      "add columns: A address, C comment (for example AC)");
    browse.add_option("--page-size", options.pageSize, "children per page (paged listing)")
        ->check(CLI::Range(1U, 1000000U));
}

void AddServeOptions(CLI::App& serve, ServeCommand::Options& options) {
    serve.add_option("PATH", options.paths, "PLCopen XML files, or folders of them")->required();
    serve.add_option("--bind", options.bind, "address to listen on")->capture_default_str();
    serve.add_option("--port", options.port, "port to listen on (0: any free port)")
        ->capture_default_str()
        ->check(CLI::Range(0, 65535));
    serve.add_option("--threads", options.threads, "worker threads (default: one per core)")
        ->check(CLI::Range(1U, 1024U));
    serve
        .add_option("--watch-ms", options.watchMilliseconds,
                    "how often the files are checked for changes, in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(10U, 3600000U));
    serve.add_flag("--verbose", options.verbose, "log one line per request");
    serve.add_flag("--writable", options.writes.writable,
                   "accept writes of values (PUT .../values), with the token of --token");
    serve.add_option("--token", options.writes.token,
                     "the bearer token a write needs (default: $VARBANK_TOKEN)");
}

void AddMemoryOptions(CLI::App& command, CommandLine::Settings& settings) {
    command.add_option("--modbus", settings.modbus,
                       "read the PLC over Modbus TCP at HOST[:PORT][/UNIT] (port 502, unit 1)");
    command
        .add_option("--word-order", settings.wordOrder,
                    "register order of 32- and 64-bit values over Modbus")
        ->check(CLI::IsMember({"high-first", "low-first"}))
        ->capture_default_str();
    command.add_option("--timeout", settings.timeoutMs, "Modbus timeout in milliseconds")
        ->check(CLI::Range(1U, 600000U))
        ->capture_default_str();
}

} // namespace

CommandLine::CommandLine(std::ostream& out, std::ostream& err) : m_Out(out), m_Err(err) {}

int CommandLine::Run(int argc, const char* const* argv) {
    Settings settings;
    CLI::App app{"varbank: serve the symbols of a PLCopen XML program through the Varbank "
                 "dictionary"};
    app.require_subcommand(1);
    app.fallthrough();
    app.add_flag("--json", settings.json, "print JSON");
    app.add_flag("--trace", settings.trace, "print the dictionary's trace messages to stderr");
    app.add_flag("--strict", settings.strict,
                 "refuse a file that uses types it does not declare (library types)");

    CLI::App* resolve = app.add_subcommand("resolve", "resolve item names to PLC positions");
    resolve->add_option("FILE", settings.file, "PLCopen XML file")->required();
    resolve->add_option("NAME", settings.names, "item names, such as MOTOR1.SPEED or TAB[4]")
        ->required();
    CLI::App* browse = app.add_subcommand("browse", "list the children of a position");
    browse->add_option("FILE", settings.file, "PLCopen XML file")->required();
    AddBrowseOptions(*browse, settings.browse, settings.varType);
    CLI::App* stamp = app.add_subcommand("stamp", "compare the stamps of two builds");
    stamp->add_option("FILE", settings.file, "PLCopen XML file")->required();
    stamp->add_option("OTHER", settings.other, "the build running in the PLC")->required();
    CLI::App* dump = app.add_subcommand("dump", "write the quick-save dump");
    dump->add_option("FILE", settings.file, "PLCopen XML file")->required();
    dump->add_option("--dir", settings.directory, "directory of the dump file")->required();
    CLI::App* info = app.add_subcommand("info", "count what the dictionary holds");
    info->add_option("FILE", settings.file, "PLCopen XML file")->required();

    CLI::App* serve = app.add_subcommand("serve", "serve dictionaries over HTTP until Ctrl-C");
    AddServeOptions(*serve, settings.serve);
    AddMemoryOptions(*serve, settings);
    CLI::App* read = app.add_subcommand("read", "read the values of item names");
    read->add_option("FILE", settings.file, "PLCopen XML file")->required();
    read->add_option("NAME", settings.names, "item names, such as MOTOR1.SPEED or STATUS.3")
        ->required();
    AddMemoryOptions(*read, settings);
    CLI::App* write = app.add_subcommand("write", "write values to a PLC over Modbus TCP");
    write->add_option("FILE", settings.file, "PLCopen XML file")->required();
    write->add_option("ASSIGNMENT", settings.names, "NAME=VALUE, such as Motor1.Speed=1500")
        ->required();
    AddMemoryOptions(*write, settings);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error, m_Out, m_Err);
        return status == 0 ? kExitDone : kExitBadInput;
    }
    settings.command = app.get_subcommands().front()->get_name();
    if (!settings.varType.empty() &&
        !BrowseCommand::ParseVarType(settings.varType, settings.browse.varType)) {
        m_Err << "--type: '" << TerminalText(settings.varType) << "' is not a variant type\n";
        return kExitBadInput;
    }
    // The dictionary reports only allocation and file failures as exceptions.
    try {
        return Dispatch(settings);
    } catch (const std::exception& error) {
        m_Err << "varbank " << settings.command << ": " << error.what() << '\n';
        return kExitRefused;
    }
}

int CommandLine::Dispatch(const Settings& settings) {
    if (settings.command == "resolve") {
        return Resolve(settings);
    }
    if (settings.command == "browse") {
        return Browse(settings);
    }
    if (settings.command == "stamp") {
        return Stamp(settings);
    }
    if (settings.command == "dump") {
        return Dump(settings);
    }
    if (settings.command == "serve") {
        return Serve(settings);
    }
    if (settings.command == "read") {
        return Read(settings);
    }
    if (settings.command == "write") {
        return Write(settings);
    }
    return Info(settings);
}

namespace {

// How a session is opened: the command line's flags.
struct SessionSettings {
    bool trace = false;
    bool strict = false;
};

std::unique_ptr<HostSession> OpenSession(const std::string& path, const SessionSettings& settings,
                                         std::ostream& err) {
    Diagnostics diagnostics(TerminalText(path));
    HostSession::Options options;
    options.traceEcho = settings.trace ? &err : nullptr;
    options.strict = settings.strict;
    std::unique_ptr<HostSession> session;
    try {
        session = HostSession::Open(path, options, diagnostics);
    } catch (const std::exception& error) {
        diagnostics.Error(0, error.what());
    }
    diagnostics.Print(err);
    return session;
}

LiveValues::Options ValueOptions(const CommandLine::Settings& settings) {
    LiveValues::Options options;
    options.modbus = settings.modbus;
    options.wordOrder = settings.wordOrder == "low-first" ? ModbusMemory::WordOrder::LowFirst
                                                          : ModbusMemory::WordOrder::HighFirst;
    options.timeout = std::chrono::milliseconds(settings.timeoutMs);
    return options;
}

// The values behind the session: the PLC over Modbus, or the memory image with the program's
// initial values.
std::unique_ptr<LiveValues> OpenValues(const CommandLine::Settings& settings, HostSession& session,
                                       std::ostream& err) {
    std::string error;
    auto values = LiveValues::Open(session, ValueOptions(settings), error);
    if (!values) {
        err << "--modbus: '" << TerminalText(settings.modbus) << "': " << error << '\n';
    }
    return values;
}

} // namespace

int CommandLine::Serve(const Settings& settings) {
    ServeCommand::Options options = settings.serve;
    options.programs.strict = settings.strict;
    options.programs.values = ValueOptions(settings);
    std::string error;
    if (!settings.modbus.empty() && !ModbusTarget::Parse(settings.modbus, error)) {
        m_Err << "--modbus: '" << TerminalText(settings.modbus) << "': " << error << '\n';
        return kExitBadInput;
    }
    const char* token = std::getenv("VARBANK_TOKEN");
    if (options.writes.token.empty() && token != nullptr) {
        options.writes.token = token;
    }
    if (options.writes.writable && options.writes.token.empty()) {
        m_Err << "serve: --writable needs a token (--token or $VARBANK_TOKEN), which every "
                 "write must then carry\n";
        return kExitBadInput;
    }
    return ServeCommand(options, m_Out, m_Err).Run();
}

int CommandLine::Read(const Settings& settings) {
    auto session = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    auto values = session ? OpenValues(settings, *session, m_Err) : nullptr;
    if (!values) {
        return kExitBadInput;
    }
    return ReadCommand(values->Access()).Run(settings.names, settings.json, m_Out);
}

int CommandLine::Write(const Settings& settings) {
    if (settings.modbus.empty()) {
        m_Err << "write: needs --modbus HOST[:PORT][/UNIT]; the memory image lives only for one "
                 "command, so a write into it would be lost\n";
        return kExitBadInput;
    }
    auto session = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    auto values = session ? OpenValues(settings, *session, m_Err) : nullptr;
    if (!values) {
        return kExitBadInput;
    }
    return WriteCommand(values->Access()).Run(settings.names, settings.json, m_Out, m_Err);
}

int CommandLine::Resolve(const Settings& settings) {
    auto session = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    return session ? ResolveCommand(*session).Run(settings.names, settings.json, m_Out)
                   : kExitBadInput;
}

int CommandLine::Browse(const Settings& settings) {
    if (settings.browse.pageSize > 0 && !settings.browse.columns.empty()) {
        m_Err << "--page-size lists item identifiers and cannot be combined with --columns\n";
        return kExitBadInput;
    }
    auto session = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    return session ? BrowseCommand(*session).Run(settings.browse, settings.json, m_Out, m_Err)
                   : kExitBadInput;
}

int CommandLine::Stamp(const Settings& settings) {
    auto built = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    auto running =
        built ? OpenSession(settings.other, {settings.trace, settings.strict}, m_Err) : nullptr;
    if (!built || !running) {
        return kExitBadInput;
    }
    return StampCommand(*built, *running).Run(settings.file, settings.other, settings.json, m_Out);
}

int CommandLine::Dump(const Settings& settings) {
    std::error_code error;
    if (!std::filesystem::is_directory(settings.directory, error)) {
        m_Err << TerminalText(settings.directory) << ": no such directory\n";
        return kExitBadInput;
    }
    StagingDirectory staging(settings.directory);
    if (staging.Path().empty()) {
        m_Err << TerminalText(settings.directory)
              << ": cannot create a folder for the dump: " << staging.Reason() << '\n';
        return kExitRefused;
    }
    auto session = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    return session
               ? DumpCommand(*session).Run(staging, settings.directory, settings.json, m_Out, m_Err)
               : kExitBadInput;
}

int CommandLine::Info(const Settings& settings) {
    auto session = OpenSession(settings.file, {settings.trace, settings.strict}, m_Err);
    return session ? InfoCommand(*session).Run(settings.file, settings.json, m_Out) : kExitBadInput;
}

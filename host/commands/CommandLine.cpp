#include "commands/CommandLine.h"

#include "commands/BrowseCommand.h"
#include "commands/DumpCommand.h"
#include "commands/ExitStatus.h"
#include "commands/HostSession.h"
#include "commands/InfoCommand.h"
#include "commands/ResolveCommand.h"
#include "commands/StagingDirectory.h"
#include "commands/StampCommand.h"
#include "import/NameText.h"

#include <CLI/CLI.hpp>

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

} // namespace

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

#include "HostTestSupport.h"
#include "HostileNames.h"
#include "LocalModbusServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <thread>

namespace {

using namespace hosttest;

struct ShellRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a shell command from the source directory; "varbank" at its start is the built binary.
ShellRun Shell(std::string command) {
    if (command.rfind("varbank", 0) == 0) {
        command.replace(0, 7, "'" VARBANK_BINARY "'");
    }
    const std::string stem = "cli-" + std::to_string(getpid());
    const std::string out = WriteTempFile(stem + ".out", "");
    const std::string err = WriteTempFile(stem + ".err", "");
    const std::string full =
        "cd '" VARBANK_SOURCE_DIR "' && (" + command + ") > '" + out + "' 2> '" + err + "'";
    const int raw = std::system(full.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(out), ReadFile(err)};
}

const std::string kFile = "examples/production_line.xml";
const std::string kLibrary = "tests/host/data/library_types.xml";

struct CliCase {
    std::string arguments;
    int status;
    std::string out; // part of the standard output
    std::string err; // part of the standard error
};

TEST(Cli, ExitStatusAndMessages) {
    const std::string malformed = WriteTempFile("malformed.xml", "<?xml version=\"1.0\"?>\n"
                                                                 "<project>\n<types></project>\n");
    std::string example = ReadFile(kExample);
    example.replace(example.find("<type><REAL/></type>"), 20, "<type><LREAL/></type>");
    const std::string retyped = WriteTempFile("retyped.xml", example);
    const std::string directory = std::filesystem::path(retyped).parent_path().string();
    std::string named = Project("", "", Var("A", "<INT/>"));
    named.replace(named.find("\"Test\""), 6, "\"Te&#10;st&#27;[2J\"");
    named.replace(named.find("</variable>"), 0, "<documentation>a&#27;[31mred</documentation>");
    const std::string controls = WriteTempFile("controls.xml", named);
    const CliCase cases[] = {
        {"resolve " + kFile + " Motor1.Speed Nope", 1, "Nope: refused: unknown variable\n", ""},
        {"resolve " + kFile + " Nope --trace", 1, "",
         "trace 2: KorvoPro Reader <PLC Embedded> :SearchAndGetFF: invalid type for Nope"},
        {"browse " + kFile + " Motor1 --type I2 --leaves", 0, "Speed  leaf    Motor1.Speed", ""},
        {"browse " + kFile + " Status", 1, "", "browse Status: not a variable of a structure"},
        {"browse " + kFile + " --columns AC --page-size 2", 2, "", "cannot be combined"},
        {"browse " + kFile + " --type bogus", 2, "", "'bogus' is not a variant type"},
        {"stamp " + kFile + " " + retyped, 1, "MISMATCH: types or variables differ", ""},
        {"dump " + kFile + " --dir " + directory, 0,
         "wrote " + directory + "/production_line.kvxav", ""},
        {"dump " + kFile + " --dir /nonexistent", 2, "", "/nonexistent: no such directory"},
        {"info " + kLibrary, 0, "variables      7",
         kLibrary + ":13: type 'JSON_VAR' is not declared in this file (a library type?): its 3 "
                    "variables are kept without members\n"},
        {"resolve " + kLibrary + " Reply --strict", 2, "",
         kLibrary + ":23: type 'MC_Power' is not declared in this file"},
        {"info " + controls, 0, "project        Te\\nst\\x1B[2J\n", ""},
        {"browse " + controls + " --columns C", 0, "|a\\x1B[31mred", ""},
        {"info /nonexistent.xml", 2, "",
         "/nonexistent.xml: cannot read the file: No such file or directory\n"},
        {"info " + malformed, 2, "", malformed + ":3: malformed XML"},
        {"read " + kFile + " ValveCommand --modbus 127.0.0.1:1 --map flat", 1,
         "error: ValveCommand: %QW has no Modbus place in the flat register map", ""},
        {"read " + kFile + " Status --modbus 127.0.0.1:1 --map bogus", 2, "",
         "--map: bogus not in {open-runtime,flat}"},
        {"", 2, "", "A subcommand is required"},
        {"--help", 0, "Subcommands:", ""},
    };
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ShellRun run = Shell("varbank " + c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    // Children of another variant type are left out.
    EXPECT_EQ(Shell("varbank browse " + kFile + " Motor1 --type I2 --leaves").out.find("Running"),
              std::string::npos);
    // Control characters of free texts reach the dump as escapes, never as raw bytes.
    ASSERT_EQ(Shell("varbank dump " + controls + " --dir " + directory).status, 0);
    const std::string dumped = ReadFile(directory + "/controls.kvxav");
    EXPECT_NE(dumped.find("Te\\nst\\x1B[2J"), std::string::npos);
    EXPECT_NE(dumped.find("a\\x1B[31mred"), std::string::npos);
    EXPECT_EQ(dumped.find('\x1B'), std::string::npos);
}

// check-config prints what a valid configuration would serve, with each program's import, and
// refuses an invalid one (or one whose program does not import) with every error and its line.
TEST(Cli, ChecksAPlantConfiguration) {
    const ShellRun example = Shell("varbank check-config examples/plant.toml");
    EXPECT_EQ(example.status, 0) << example.err;
    for (const char* part :
         {"service        127.0.0.1:8080; no read token\n",
          "plc            press: 127.0.0.1:1502/1, map flat (bases: IX none QX none IW none QW "
          "none M 0 MW 1024 MD 0 ML 0), word order high-first",
          "program        line: " VARBANK_SOURCE_DIR "/examples/production_line.xml as "
          "dictionary line, on the memory image, read-only: imports, 11 variables\n",
          "program        press_line: ", "on plc press, read-only: imports"}) {
        EXPECT_NE(example.out.find(part), std::string::npos) << part << "\n" << example.out;
    }
    const ShellRun json = Shell("varbank --json check-config examples/plant.toml");
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json document = nlohmann::json::parse(json.out);
    EXPECT_EQ(document["valid"], true);
    EXPECT_EQ(document["plcs"][0]["map"]["bases"]["MW"], 1024);
    EXPECT_EQ(document["programs"][1]["plc"], "press");
    EXPECT_EQ(document["programs"][0]["variables"], 11);

    const std::string broken = WriteTempFile("broken.xml", "<project>\n<types></project>\n");
    const std::string folder = std::filesystem::path(broken).parent_path().string();
    const std::string invalid =
        WriteTempFile("invalid.toml", "[plc.a]\nmodbus = \"h\"\nmap = \"flatt\"\n[program.p]\n"
                                      "file = \"broken.xml\"\nplc = \"b\"\n");
    const ShellRun refused = Shell("varbank check-config " + invalid);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err, invalid +
                               ":3: [plc.a]: map 'flatt' is not a register map "
                               "(open-runtime, flat)\n" +
                               invalid +
                               ":6: [program.p]: plc 'b' is not a [plc.NAME] of this "
                               "file (a)\n");
    const ShellRun refusedJson = Shell("varbank --json check-config " + invalid);
    EXPECT_EQ(refusedJson.status, 2);
    EXPECT_EQ(nlohmann::json::parse(refusedJson.out)["errors"].size(), 2U);

    const std::string unimported =
        WriteTempFile("unimported.toml", "[program.p]\nfile = \"broken.xml\"\n");
    const ShellRun notImported = Shell("varbank check-config " + unimported);
    EXPECT_EQ(notImported.status, 2);
    EXPECT_NE(notImported.out.find(": does not import\n               " + folder +
                                   "/broken.xml:2: malformed XML"),
              std::string::npos)
        << notImported.out;
}

// Every loose name of the table is refused by resolve, read, write and browse, with its reason
// and the exit status of a refused name; the write is refused before any PLC is reached. A
// command line cannot carry a NUL, so names holding one are left to the other front ends.
TEST(Cli, RefusesLooseNames) {
    const std::string json = "varbank --json ";
    for (const nlohmann::json& entry : HostileNames()["names"]) {
        const std::string name = entry["name"];
        if (name.find('\0') != std::string::npos) {
            continue;
        }
        SCOPED_TRACE(name);
        const std::string value = entry["value"].is_boolean() ? "TRUE" : entry["value"].dump();
        const ShellRun resolved = Shell(json + "resolve " + kFile + " '" + name + "'");
        EXPECT_EQ(resolved.status, 1) << resolved.err;
        const nlohmann::json result = nlohmann::json::parse(resolved.out)["results"][0];
        EXPECT_EQ(result["resolved"], false);
        EXPECT_EQ(result["reason"], entry["reason"]);
        for (const std::string& command :
             {"read " + kFile + " '" + name + "'",
              "write " + kFile + " '" + name + "=" + value + "' --modbus 127.0.0.1:1"}) {
            const ShellRun run = Shell(json + command);
            EXPECT_EQ(run.status, 1) << run.err;
            const nlohmann::json values = nlohmann::json::parse(run.out)["values"];
            EXPECT_EQ(values[0]["error"], name + ": " + entry["reason"].get<std::string>());
        }
        const ShellRun text = Shell("varbank resolve " + kFile + " '" + name + "'");
        EXPECT_EQ(text.out, name + ": refused: " + entry["reason"].get<std::string>() + "\n");
    }
    for (const nlohmann::json& entry : HostileNames()["paths"]) {
        const std::string path = entry["path"];
        if (path.find('\0') != std::string::npos) {
            continue;
        }
        SCOPED_TRACE(path);
        for (const char* columns : {"", " --columns A"}) {
            const ShellRun run = Shell("varbank browse " + kFile + " '" + path + "'" + columns);
            EXPECT_EQ(run.status, 1);
            EXPECT_EQ(run.err, "browse " + path + ": " + entry["reason"].get<std::string>() + "\n");
            EXPECT_EQ(run.out, "");
        }
    }
}

// A dump cut short by the file size limit leaves the previous dump whole and nothing else.
TEST(Cli, FailedDumpKeepsThePreviousOne) {
    const auto directory =
        std::filesystem::temp_directory_path() / ("varbank-dump-" + std::to_string(getpid()));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    const std::string dump = (directory / "production_line.kvxav").string();
    const std::string command = "varbank dump " + kFile + " --dir " + directory.string();
    ASSERT_EQ(Shell(command).status, 0);
    const std::string previous = ReadFile(dump);
    ASSERT_GT(previous.size(), 2048U);
    const ShellRun limited = Shell("ulimit -f 1 && '" VARBANK_BINARY "'" + command.substr(7));
    EXPECT_EQ(limited.status, 1) << limited.err;
    EXPECT_NE(limited.err.find(dump + ": cannot write the dump"), std::string::npos) << limited.err;
    EXPECT_EQ(ReadFile(dump), previous);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1U);
    std::filesystem::remove_all(directory);
}

TEST(Cli, EveryCommandSpeaksJson) {
    const std::string directory =
        std::filesystem::path(WriteTempFile("json.kvxav", "")).parent_path();
    const std::pair<std::string, const char*> cases[] = {
        {"info " + kFile, "stamp"},
        {"resolve " + kFile + " Status.3 Nope", "results"},
        {"browse " + kFile + " Motor1", "children"},
        {"browse " + kFile + " Speeds --page-size 4", "pages"},
        {"browse " + kFile + " Motor1 --columns AC", "lines"},
        {"stamp " + kFile + " " + kFile, "result"},
        {"dump " + kFile + " --dir " + directory, "file"},
    };
    for (const auto& [arguments, key] : cases) {
        SCOPED_TRACE(arguments);
        const ShellRun run = Shell("varbank --json " + arguments);
        nlohmann::json parsed;
        ASSERT_NO_THROW(parsed = nlohmann::json::parse(run.out)) << run.out;
        EXPECT_TRUE(parsed.contains(key)) << run.out;
    }
}

// Command-line text that is not UTF-8 is shown with U+FFFD; a bad name is refused alone, and a
// dump reported as written is in place.
TEST(Cli, TextThatIsNotUtf8) {
    const std::string bad = "Bad\xFF";
    const std::string shown = "Bad\xEF\xBF\xBD";
    const ShellRun text = Shell("varbank resolve " + kFile + " Motor1.Speed '" + bad + "'");
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("Motor1.Speed: block 3"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(shown + ": refused: the name is not valid UTF-8\n"), std::string::npos)
        << text.out;
    const ShellRun json = Shell("varbank --json resolve " + kFile + " Motor1.Speed '" + bad + "'");
    EXPECT_EQ(json.status, 1) << json.err;
    nlohmann::json parsed;
    ASSERT_NO_THROW(parsed = nlohmann::json::parse(json.out)) << json.out;
    ASSERT_EQ(parsed["results"].size(), 2U);
    EXPECT_TRUE(parsed["results"][0]["resolved"].get<bool>());
    EXPECT_EQ(parsed["results"][1]["name"], shown);
    EXPECT_FALSE(parsed["results"][1]["resolved"].get<bool>());

    const auto directory =
        std::filesystem::temp_directory_path() / ("varbank-" + bad + std::to_string(getpid()));
    std::filesystem::remove_all(directory);
    std::filesystem::create_directories(directory);
    for (const char* flag : {"", "--json "}) {
        SCOPED_TRACE(flag);
        std::filesystem::remove(directory / "production_line.kvxav");
        const ShellRun dump = Shell(std::string("varbank ") + flag + "dump " + kFile + " --dir '" +
                                    directory.string() + "'");
        EXPECT_EQ(dump.status, 0) << dump.err;
        EXPECT_NE(dump.out.find(shown), std::string::npos) << dump.out;
        EXPECT_EQ(dump.out.find(bad), std::string::npos) << dump.out;
        EXPECT_TRUE(std::filesystem::exists(directory / "production_line.kvxav"));
    }
    std::filesystem::remove_all(directory);
}

// A varbank run in the background, its output in files; killed if still running at the end.
class Background {
public:
    explicit Background(const std::vector<std::string>& arguments) {
        const std::string stem = "bg-" + std::to_string(getpid()) + "-" + std::to_string(++s_Runs);
        m_Out = WriteTempFile(stem + ".out", "");
        m_Err = WriteTempFile(stem + ".err", "");
        std::vector<std::string> argv = {VARBANK_BINARY};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        m_Pid = fork();
        if (m_Pid == 0) {
            if (chdir(VARBANK_SOURCE_DIR) != 0) {
                _exit(127);
            }
            dup2(open(m_Out.c_str(), O_WRONLY | O_TRUNC), 1);
            dup2(open(m_Err.c_str(), O_WRONLY | O_TRUNC), 2);
            std::vector<char*> pointers;
            for (std::string& argument : argv) {
                pointers.push_back(argument.data());
            }
            pointers.push_back(nullptr);
            execv(pointers[0], pointers.data());
            _exit(127);
        }
    }
    ~Background() {
        if (m_Pid > 0 && m_Status < 0) {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, nullptr, 0);
        }
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;

    // Whether the output holds `lines` lines within 20 s.
    bool WaitForLines(std::size_t lines) const {
        for (int i = 0; i < 1000; ++i) {
            const std::string out = Out();
            if (static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n')) >= lines) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
    void Signal(int signal) const { kill(m_Pid, signal); }
    // The exit status, or -1 when it did not end within 20 s (then it is killed).
    int Wait() {
        for (int i = 0; i < 1000 && m_Status < 0; ++i) {
            int raw = 0;
            if (waitpid(m_Pid, &raw, WNOHANG) == m_Pid) {
                m_Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
                return m_Status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return m_Status;
    }
    std::string Out() const { return ReadFile(m_Out); }
    std::string Err() const { return ReadFile(m_Err); }

private:
    static inline int s_Runs = 0;
    pid_t m_Pid = -1;
    int m_Status = -1;
    std::string m_Out;
    std::string m_Err;
};

// The output with every time of a change as TIME, since times differ from run to run.
std::string WithoutTimes(const std::string& text) {
    static const std::regex time(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    return std::regex_replace(text, time, "TIME");
}

// watch prints one line per change, the first ones every leaf's value; it stops after --count
// lines and refuses bad names, intervals and deadbands before watching anything.
TEST(Cli, WatchPrintsValuesAndRefusesBadInput) {
    const CliCase cases[] = {
        {"watch " + kFile + " Motor1.Speed LineName Status.3 Motor1.Speed --count 3", 0,
         "TIME Motor1.Speed = 0 (INT)\nTIME LineName = \"Bottling line 1\" (STRING[20])\n"
         "TIME Status.3 = false (BOOL)\n",
         ""},
        {"watch " + kFile + " Motor1 --count 5", 0,
         "TIME Motor1.Running = false (BOOL)\nTIME Motor1.Speed = 0 (INT)\n"
         "TIME Motor1.Current = 0.0 (REAL)\nTIME Motor1.State = 0 (MotorState)\n"
         "TIME Motor1.Label = \"\" (STRING[12])\n",
         ""},
        {"watch " + kFile + " Motor1 Counter --count 2 --interval 20", 0,
         "TIME Motor1.Running = false (BOOL)\nTIME Motor1.Speed = 0 (INT)\n", ""},
        {"watch " + kFile + " Counter --count 1 --interval 1", 0, "TIME Counter = 0 (",
         "watch: the interval was raised to the minimum of 10 ms\n"},
        {"watch " + kFile + " Counter --count 1 --interval 99999999999", 0, "TIME Counter = 0 (",
         "watch: the interval was lowered to the maximum of 3600000 ms\n"},
        {"watch " + kFile + " Counter Nope Motor1.Nope --count 1", 1, "",
         "watch Nope: unknown variable\nwatch Motor1.Nope: "},
        {"watch " + kFile + " 'Motor1..Speed' --count 1", 1, "", "watch Motor1..Speed: "},
        {"watch " + kFile + " Counter --interval 0", 2, "", "the interval must be"},
        {"watch " + kFile + " Counter --interval -5", 2, "", "the interval must be"},
        {"watch " + kFile + " Counter --interval 1.5", 2, "", "the interval must be"},
        {"watch " + kFile + " Counter --deadband -1", 2, "", "the deadband must be"},
        {"watch " + kFile + " Counter --deadband nan", 2, "", "the deadband must be"},
        {"watch " + kFile + " Counter --deadband x", 2, "", "the deadband must be"},
        {"watch " + kFile + " Counter --count 0", 2, "", "the count must be a whole number"},
        {"watch " + kFile, 2, "", "NAME is required"},
        {"watch " + kFile + " Counter --modbus 'a:b:c'", 2, "", "--modbus: 'a:b:c'"},
        {"watch /nonexistent.xml Counter", 2, "", "/nonexistent.xml: cannot read the file"},
    };
    for (const CliCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ShellRun run = Shell("timeout -s KILL 30 '" VARBANK_BINARY "' " + c.arguments);
        EXPECT_EQ(run.status, c.status) << run.err;
        if (c.out.empty()) {
            EXPECT_EQ(run.out, "");
        } else {
            EXPECT_EQ(WithoutTimes(run.out).rfind(c.out, 0), 0U) << run.out;
        }
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

TEST(Cli, WatchJsonLines) {
    const ShellRun run = Shell("timeout -s KILL 30 '" VARBANK_BINARY "' --json watch " + kFile +
                               " Line.ActiveRecipe 'Line.Recipes[2]' --count 4");
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::vector<nlohmann::json> changes;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_NO_THROW(changes.push_back(nlohmann::json::parse(line))) << line;
    }
    const std::vector<std::pair<std::string, nlohmann::json>> expected = {
        {"Line.ActiveRecipe", 1},
        {"Line.Recipes[2][1]", 0.0},
        {"Line.Recipes[2][2]", 0.0},
        {"Line.Recipes[2][3]", 0.0}};
    ASSERT_EQ(changes.size(), expected.size()) << run.out;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(changes[i]["name"], expected[i].first);
        EXPECT_EQ(changes[i]["value"], expected[i].second);
        EXPECT_TRUE(changes[i]["error"].is_null());
        EXPECT_EQ(WithoutTimes(changes[i]["time"].get<std::string>()), "TIME");
    }
}

// Ctrl-C and SIGTERM end a watch cleanly, with what it printed so far.
TEST(Cli, WatchStopsOnSignals) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        Background watch({"watch", kFile, "Motor1.Speed", "--interval", "20"});
        ASSERT_TRUE(watch.WaitForLines(1)) << watch.Err();
        watch.Signal(signal);
        EXPECT_EQ(watch.Wait(), 0) << watch.Err();
        EXPECT_EQ(WithoutTimes(watch.Out()), "TIME Motor1.Speed = 0 (INT)\n");
    }
}

// On a PLC, a register that changes while watched gives a line; an unreachable PLC gives the
// error once.
TEST(Cli, WatchShowsChangesOnAPlc) {
    LocalModbusServer server;
    const std::string plc = "127.0.0.1:" + std::to_string(server.Port());
    Background watch({"watch", kFile, "Status", "Status.3", "--modbus", plc, "--interval", "50",
                      "--count", "4"});
    ASSERT_TRUE(watch.WaitForLines(2)) << watch.Err();
    server.Map().tab_registers[1024 + 10] = 0x0008; // %MW10: Status, bit 3 set
    EXPECT_EQ(watch.Wait(), 0) << watch.Err();
    EXPECT_EQ(WithoutTimes(watch.Out()), "TIME Status = 0 (WORD)\nTIME Status.3 = false (BOOL)\n"
                                         "TIME Status = 8 (WORD)\nTIME Status.3 = true (BOOL)\n");

    const ShellRun down = Shell("timeout -s KILL 30 '" VARBANK_BINARY "' watch " + kFile +
                                " Status --modbus 127.0.0.1:1 --timeout 200 --count 1");
    EXPECT_EQ(down.status, 0) << down.err;
    EXPECT_EQ(WithoutTimes(down.out).rfind("TIME Status: error: ", 0), 0U) << down.out;
}

// The README shows real runs: each block that starts with "$ varbank" is run again here and
// must print what the README says; the times of watch differ from run to run.
TEST(Cli, ReadmeShowsRealOutput) {
    const std::string readme = ReadFile(VARBANK_SOURCE_DIR "/README.md");
    std::size_t at = 0;
    int blocks = 0;
    while ((at = readme.find("```\n$ varbank ", at)) != std::string::npos) {
        const std::size_t start = at + 6;
        const std::size_t lineEnd = readme.find('\n', start);
        const std::size_t end = readme.find("```", lineEnd);
        const std::string command = readme.substr(start, lineEnd - start);
        const std::string expected = readme.substr(lineEnd + 1, end - lineEnd - 1);
        SCOPED_TRACE(command);
        EXPECT_EQ(WithoutTimes(Shell(command).out), WithoutTimes(expected));
        at = end;
        ++blocks;
    }
    EXPECT_GE(blocks, 6);
}

} // namespace

#include "HostTestSupport.h"
#include "HostileNames.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

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

// The README shows real runs: each block that starts with "$ varbank" is run again here and
// must print what the README says.
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
        EXPECT_EQ(Shell(command).out, expected);
        at = end;
        ++blocks;
    }
    EXPECT_GE(blocks, 6);
}

} // namespace

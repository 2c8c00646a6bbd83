// The plant's configuration file: what a valid file gives, paths relative to the file, and a
// table of invalid files, each with every "file:line: reason" it must report.
#include "HostTestSupport.h"
#include "config/PlantConfigReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// A folder with a configuration's neighbours: programs/ok.xml, programs/other.xml and a folder
// programs/folder.xml.
struct PlantFolder {
    fs::path folder;

    PlantFolder() {
        folder = fs::path(hosttest::WriteTempFile("plant.toml", "")).parent_path() / "plant";
        fs::create_directories(folder / "programs" / "folder.xml");
        std::ofstream(folder / "programs" / "ok.xml")
            << hosttest::Project("", "", hosttest::Var("A", "<INT/>"));
        std::ofstream(folder / "programs" / "other.xml")
            << hosttest::Project("", "", hosttest::Var("B", "<INT/>"));
    }

    // The text read as folder/plant.toml; its errors as "plant.toml:line: reason".
    std::optional<PlantConfig> Read(const std::string& text,
                                    std::vector<std::string>& errors) const {
        const std::map<std::string, std::string> environment = {{"SET_TOKEN", "s3cret"},
                                                                {"EMPTY_TOKEN", ""}};
        const PlantConfigReader reader([environment](const std::string& name) {
            const auto found = environment.find(name);
            return found == environment.end() ? std::nullopt
                                              : std::optional<std::string>(found->second);
        });
        Diagnostics report("plant.toml");
        auto config = reader.ReadText(text, folder / "plant.toml", report);
        for (const Diagnostics::Entry& entry : report.InLineOrder()) {
            errors.push_back(report.Format(entry));
        }
        return config;
    }
};

const std::string kProgram = "[program.p]\nfile = \"programs/ok.xml\"\n";

TEST(PlantConfig, ReadsEveryValueWithDefaultsAndPathsRelativeToTheFile) {
    const PlantFolder plant;
    std::vector<std::string> errors;
    const auto config = plant.Read(R"([service]
bind = "0.0.0.0"
port = 9090
write_token_env = "SET_TOKEN"
read_token = "reader"

[plc.press]
modbus = "press.example:1502/3"
map = "flat"
word_order = "low-first"
timeout_ms = 250
max_registers = 60
max_coils = 800
retries = 2
min_interval_ms = 5
bases = { MW = 1024, m = 16, IX = 0 }

[plc.mixer]
modbus = "10.0.0.7"

[program.bottling]
file = "programs/ok.xml"
plc = "press"
writable = true
write_token = "own"
publish = ["Motor1.*", "located"]
publish_interval_ms = 250
publish_deadband = 0.5
resend_ms = 60000

[program.line]
file = "programs/../programs/other.xml"
dictionary = "line-2"

[mqtt]
host = "broker.example"
port = 8883
username = "gateway"
password_env = "SET_TOKEN"
ca_file = "programs/ok.xml"
qos = 0
topic_prefix = "plant/varbank"
)",
                                   errors);
    ASSERT_TRUE(config) << testing::PrintToString(errors);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(config->service.bind, "0.0.0.0");
    EXPECT_EQ(config->service.port, 9090);
    EXPECT_EQ(config->service.writeToken.value, "s3cret");
    EXPECT_EQ(config->service.writeToken.source, "$SET_TOKEN");
    EXPECT_EQ(config->service.readToken.value, "reader");

    ASSERT_EQ(config->plcs.size(), 2U);
    const PlantConfig::Plc& press = config->plcs[0]; // in the file's order
    EXPECT_EQ(press.name, "press");
    EXPECT_EQ(press.line, 7U);
    EXPECT_EQ(press.target.Text(), "press.example:1502/3");
    EXPECT_EQ(press.map.Name(), "flat");
    EXPECT_EQ(press.map.Base(RegisterMap::Area::MW), 1024U);
    EXPECT_EQ(press.map.Base(RegisterMap::Area::M), 16U);
    EXPECT_EQ(press.map.Base(RegisterMap::Area::IX), 0U);
    EXPECT_EQ(press.map.Base(RegisterMap::Area::QX), std::nullopt);
    EXPECT_EQ(press.wordOrder, ModbusMemory::WordOrder::LowFirst);
    EXPECT_EQ(press.timeout.count(), 250);
    EXPECT_EQ(press.maxRegisters, 60U);
    EXPECT_EQ(press.maxCoils, 800U);
    EXPECT_EQ(press.retries, 2U);
    EXPECT_EQ(press.minInterval.count(), 5);
    const ModbusMemory::Options memory = press.MemoryOptions();
    EXPECT_EQ(memory.maxRegisters, 60U);
    EXPECT_EQ(memory.map, press.map);

    const PlantConfig::Plc& mixer = config->plcs[1];
    EXPECT_EQ(mixer.target.Text(), "10.0.0.7:502/1");
    EXPECT_EQ(mixer.map, RegisterMap::OpenRuntime());
    EXPECT_EQ(mixer.wordOrder, ModbusMemory::WordOrder::HighFirst);
    EXPECT_EQ(mixer.maxRegisters, 125U);

    ASSERT_EQ(config->programs.size(), 2U);
    const PlantConfig::Program& bottling = config->programs[0];
    EXPECT_EQ(bottling.file, plant.folder / "programs" / "ok.xml");
    EXPECT_EQ(bottling.dictionary, "ok");
    EXPECT_EQ(bottling.plc, "press");
    EXPECT_TRUE(bottling.writable);
    EXPECT_EQ(config->WriteTokenOf(bottling).value, "own");
    const PlantConfig::Program& line = config->programs[1];
    EXPECT_EQ(line.file, plant.folder / "programs" / "other.xml");
    EXPECT_EQ(line.dictionary, "line-2");
    EXPECT_TRUE(line.OnImage());
    EXPECT_FALSE(line.writable);

    EXPECT_EQ(bottling.publish.items, (std::vector<std::string>{"Motor1.*", "located"}));
    EXPECT_EQ(bottling.publish.interval.count(), 250);
    EXPECT_EQ(bottling.publish.deadband, 0.5);
    EXPECT_EQ(bottling.publish.resend.count(), 60000);
    EXPECT_FALSE(line.publish.Any());
    ASSERT_TRUE(config->mqtt);
    EXPECT_EQ(config->mqtt->host, "broker.example");
    EXPECT_EQ(config->mqtt->port, 8883);
    EXPECT_EQ(config->mqtt->username, "gateway");
    EXPECT_EQ(config->mqtt->password.value, "s3cret");
    EXPECT_EQ(config->mqtt->caFile, plant.folder / "programs" / "ok.xml");
    EXPECT_EQ(config->mqtt->qos, 0);
    EXPECT_EQ(config->mqtt->topicPrefix, "plant/varbank");
}

struct InvalidCase {
    const char* what;
    std::string text;
    std::vector<std::string> errors; // every one, in line order; {} for the folder's path
};

TEST(PlantConfig, ReportsEveryErrorOfAnInvalidFileWithItsLine) {
    const PlantFolder plant;
    const std::string programs = (plant.folder / "programs").string();
    const std::vector<InvalidCase> cases = {
        {"unknown map",
         "[plc.a]\nmodbus = \"h\"\nmap = \"flatt\"\n" + kProgram,
         {"plant.toml:3: [plc.a]: map 'flatt' is not a register map (open-runtime, flat)"}},
        {"bad port",
         "[service]\nport = 70000\n" + kProgram,
         {"plant.toml:2: [service]: port must be a whole number from 0 to 65535, not 70000"}},
        {"port as text",
         "[service]\nport = \"8080\"\n" + kProgram,
         {"plant.toml:2: [service]: port must be a whole number from 0 to 65535"}},
        {"missing endpoint",
         "[plc.press]\nmodbus = \"h\"\n" + kProgram + "plc = \"pres\"\n",
         {"plant.toml:5: [program.p]: plc 'pres' is not a [plc.NAME] of this file (press)"}},
        {"no endpoints at all",
         kProgram + "plc = \"press\"\n",
         {"plant.toml:3: [program.p]: plc 'press' is not a [plc.NAME] of this file (it has "
          "none)"}},
        {"duplicate dictionary name",
         kProgram + "\n[program.q]\nfile = \"programs/other.xml\"\ndictionary = \"ok\"\n",
         {"plant.toml:4: [program.q]: dictionary 'ok' is already served by [program.p] (line "
          "1)"}},
        {"missing program file",
         "[program.p]\nfile = \"programs/none.xml\"\n",
         {"plant.toml:2: [program.p]: file '" + programs + "/none.xml' does not exist"}},
        {"a folder as program file",
         "[program.p]\nfile = \"programs/folder.xml\"\n",
         {"plant.toml:2: [program.p]: file '" + programs +
          "/folder.xml' is a folder, not a program file"}},
        {"program without file",
         "[program.p]\nplc = \"x\"\n",
         {"plant.toml:1: [program.p]: file is missing (the program's PLCopen XML file)",
          "plant.toml:2: [program.p]: plc 'x' is not a [plc.NAME] of this file (it has none)"}},
        {"misspelt key",
         kProgram + "writeable = true\n",
         {"plant.toml:3: [program.p]: unknown key 'writeable' (known: file, dictionary, plc, "
          "memory, writable, write_token, write_token_env, publish, publish_interval_ms, "
          "publish_deadband, resend_ms)"}},
        {"unknown table",
         "[plcs.a]\nmodbus = \"h\"\n" + kProgram,
         {"plant.toml:1: the file: unknown key 'plcs' (known: service, plc, program, mqtt)"}},
        {"values out of range",
         "[plc.a]\nmodbus = \"h\"\nmax_registers = 126\nmax_coils = 0\ntimeout_ms = -1\n"
         "retries = 11\n" +
             kProgram,
         {"plant.toml:3: [plc.a]: max_registers must be a whole number from 1 to 125, not 126",
          "plant.toml:4: [plc.a]: max_coils must be a whole number from 1 to 2000, not 0",
          "plant.toml:5: [plc.a]: timeout_ms must be a whole number from 1 to 600000, not -1",
          "plant.toml:6: [plc.a]: retries must be a whole number from 0 to 10, not 11"}},
        {"malformed target and word order",
         "[plc.a]\nmodbus = \"h:99999\"\nword_order = \"middle\"\n" + kProgram,
         {"plant.toml:2: [plc.a]: modbus 'h:99999': the port after ':' is a number from 1 to "
          "65535",
          "plant.toml:3: [plc.a]: word_order 'middle' is not high-first or low-first"}},
        {"endpoint without target",
         "[plc.a]\nmap = \"flat\"\n" + kProgram,
         {"plant.toml:1: [plc.a]: modbus is missing (HOST[:PORT][/UNIT])"}},
        {"bad bases",
         "[plc.a]\nmodbus = \"h\"\n[plc.a.bases]\nMB = 3\nMW = 70000\nMD = true\n" + kProgram,
         {"plant.toml:4: [plc.a] bases: 'MB' is not an area (IX, QX, IW, QW, M, MW, MD, ML)",
          "plant.toml:5: [plc.a] bases: MW must be an address from 0 to 65535, or false",
          "plant.toml:6: [plc.a] bases: MD must be an address from 0 to 65535, or false"}},
        {"unset and empty environment variables",
         "[service]\nwrite_token_env = \"NOPE\"\nread_token_env = \"EMPTY_TOKEN\"\n" + kProgram,
         {"plant.toml:2: [service]: write_token_env names the environment variable 'NOPE', "
          "which is not set",
          "plant.toml:3: [service]: read_token_env names the environment variable "
          "'EMPTY_TOKEN', which is empty"}},
        {"both token forms",
         "[service]\nwrite_token = \"a\"\nwrite_token_env = \"SET_TOKEN\"\n" + kProgram,
         {"plant.toml:3: [service]: give write_token or write_token_env, not both"}},
        {"writable without a token",
         kProgram + "writable = true\n",
         {"plant.toml:1: [program.p]: writable needs a write token (write_token or "
          "write_token_env here or in [service]), which every write must then carry"}},
        {"a token for a read-only program",
         kProgram + "write_token = \"t\"\n",
         {"plant.toml:1: [program.p]: a write token is given but the program is not writable "
          "(writable = true)"}},
        {"plc and memory both",
         "[plc.a]\nmodbus = \"h\"\n" + kProgram + "plc = \"a\"\nmemory = \"image\"\n",
         {"plant.toml:6: [program.p]: give plc = \"NAME\" or memory = \"image\", not both"}},
        {"memory that is not the image",
         kProgram + "memory = \"a\"\n",
         {"plant.toml:3: [program.p]: memory 'a' is not \"image\" (a PLC is named with plc)"}},
        {"bad dictionary name",
         kProgram + "dictionary = \"a/b\"\n",
         {"plant.toml:3: [program.p]: dictionary 'a/b' is not a dictionary name (1 to 200 "
          "characters, no '/' or '\\')"}},
        {"mqtt without host, bad values",
         "[mqtt]\nport = 0\nqos = 2\ntopic_prefix = \"a/+/b\"\nclient_id = \"\"\n"
         "password = \"p\"\nca_file = \"none.pem\"\nretain = true\n" +
             kProgram,
         {"plant.toml:1: [mqtt]: host is missing (the broker's host name or address)",
          "plant.toml:1: [mqtt]: a password is given without a username",
          "plant.toml:2: [mqtt]: port must be a whole number from 1 to 65535, not 0",
          "plant.toml:3: [mqtt]: qos must be a whole number from 0 to 1, not 2",
          "plant.toml:4: [mqtt]: topic_prefix 'a/+/b' must be topic levels separated by '/', "
          "none empty, without '+', '#' or a leading '$'",
          "plant.toml:5: [mqtt]: client_id '' must be 1 to 200 characters without '+', '#' or "
          "control characters",
          "plant.toml:7: [mqtt]: ca_file '" + plant.folder.string() +
              "/none.pem' is not a file that can be read",
          "plant.toml:8: [mqtt]: unknown key 'retain' (known: host, port, client_id, username, "
          "password, password_env, ca_file, qos, topic_prefix)"}},
        {"publish without a broker, bad publish values",
         kProgram + "publish = [\"A\", 3]\npublish_interval_ms = 5\npublish_deadband = -1\n"
                    "resend_ms = -1\n",
         {"plant.toml:3: [program.p]: publish needs an [mqtt] table naming the broker",
          "plant.toml:3: [program.p]: each entry of publish must be a name or pattern",
          "plant.toml:4: [program.p]: publish_interval_ms must be a whole number from 10 to "
          "3600000, not 5",
          "plant.toml:5: [program.p]: publish_deadband must be a number of 0 or more",
          "plant.toml:6: [program.p]: resend_ms must be a whole number from 0 to 86400000, not "
          "-1"}},
        {"publish settings without publish, an empty publish list",
         "[mqtt]\nhost = \"b\"\n" + kProgram +
             "resend_ms = 10\n[program.q]\nfile = "
             "\"programs/other.xml\"\npublish = []\n",
         {"plant.toml:5: [program.p]: resend_ms is given but nothing is published (publish = "
          "[...])",
          "plant.toml:8: [program.q]: publish must be a list of 1 to 10000 names or patterns "
          "(\"Motor1.*\", \"located\", \"all\")"}},
        {"nothing to serve",
         "[service]\nport = 1\n",
         {"plant.toml: no [program.NAME]: nothing to serve"}},
        {"tables of the wrong kind",
         "service = 3\nplc = \"a\"\n" + kProgram,
         {"plant.toml:1: [service] must be a table", "plant.toml:2: [plc] must be a table"}},
    };
    for (const InvalidCase& c : cases) {
        std::vector<std::string> errors;
        EXPECT_FALSE(plant.Read(c.text, errors)) << c.what;
        EXPECT_EQ(errors, c.errors) << c.what;
    }
}

TEST(PlantConfig, ReportsTomlSyntaxErrorsAndUnreadableFilesWithTheirLine) {
    const PlantFolder plant;
    std::vector<std::string> errors;
    EXPECT_FALSE(plant.Read(kProgram + "writable = \n", errors));
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_EQ(errors[0].rfind("plant.toml:3: ", 0), 0U) << errors[0];

    Diagnostics missing("nowhere.toml");
    EXPECT_FALSE(PlantConfigReader().Read(plant.folder / "nowhere.toml", missing));
    ASSERT_EQ(missing.Entries().size(), 1U);
    EXPECT_EQ(missing.Format(missing.Entries()[0]), "nowhere.toml: no such file");
}

TEST(PlantConfig, TheExampleIsValid) {
    Diagnostics report("plant.toml");
    const auto config = PlantConfigReader([](const std::string&) {
                            return std::nullopt;
                        }).Read(fs::path(VARBANK_EXAMPLES_DIR) / "plant.toml", report);
    ASSERT_TRUE(config) << testing::PrintToString(report.Entries().size());
    ASSERT_EQ(config->programs.size(), 2U);
    EXPECT_TRUE(config->programs[0].OnImage());
    EXPECT_EQ(config->programs[0].file, fs::path(VARBANK_EXAMPLES_DIR) / "production_line.xml");
    EXPECT_EQ(config->programs[1].plc, "press");
    EXPECT_EQ(config->FindPlc("press")->map.Name(), "flat");
}

} // namespace

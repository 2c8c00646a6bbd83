// Values over Modbus TCP against a libmodbus server that the test runs on 127.0.0.1, on a
// port the system picks: every located kind both ways, grouped reads, and the failures (a
// refused connection, a dropped one, a server that never answers, an exception).
#include "values/ModbusMemory.h"
#include "HostTestSupport.h"
#include "LocalModbusServer.h"
#include "core/Program.h"
#include "core/ValueAccess.h"
#include "json/CoreJson.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using hosttest::Var;
using I = std::int64_t;
using U = std::uint64_t;

std::string LocatedProgram() {
    const std::string words = "<array><dimension lower=\"0\" upper=\"999\"/><baseType><INT/>"
                              "</baseType></array>";
    const std::string globals = Var("In", "<BOOL/>", "%IX1.2") + Var("Out", "<BOOL/>", "%QX0.5") +
                                Var("Sensor", "<INT/>", "%IW3") + Var("Valve", "<WORD/>", "%QW2") +
                                Var("Speed", "<INT/>", "%MW10") + Var("Count", "<DINT/>", "%MD4") +
                                Var("Ratio", "<REAL/>", "%MD5") + Var("Total", "<LREAL/>", "%ML3") +
                                Var("Mode", "<WORD/>", "%MW12") + Var("Words", words, "%MW100") +
                                Var("Plain", "<INT/>");
    // The last address of each table (65535) and the first one past it.
    const std::string edges =
        Var("LastWord", "<WORD/>", "%QW65535") + Var("PastWord", "<WORD/>", "%QW65536") +
        Var("LastLong", "<LINT/>", "%ML15359") + Var("PastLong", "<LINT/>", "%ML15360") +
        Var("LastMark", "<BOOL/>", "%MW64511.15") + Var("PastMark", "<BOOL/>", "%MW64512.0") +
        Var("LastCoil", "<BOOL/>", "%QX8191.7") + Var("PastCoil", "<BOOL/>", "%QX8192.0");
    return hosttest::Project("", "", globals + edges);
}

// The located program opened over the PLC at 127.0.0.1:port.
struct Fixture {
    std::shared_ptr<Program> program;
    ValueAccess* access = nullptr;

    Fixture(std::uint16_t port, ModbusMemory::WordOrder order = ModbusMemory::WordOrder::HighFirst,
            const RegisterMap& map = RegisterMap::OpenRuntime(),
            const std::string& text = LocatedProgram(), std::uint32_t maxRegisters = 125) {
        Diagnostics diagnostics("located.xml");
        ProgramOptions options;
        options.memory.kind = MemoryKind::Modbus;
        options.memory.modbus.target = {"127.0.0.1", port, 1};
        options.memory.modbus.wordOrder = order;
        options.memory.modbus.timeout = std::chrono::milliseconds(200);
        options.memory.modbus.map = map;
        options.memory.modbus.maxRegisters = maxRegisters;
        program = Program::Open(hosttest::WriteTempFile("located.xml", text), options, diagnostics);
        EXPECT_TRUE(program);
        access = program ? &program->Values() : nullptr;
    }
    // The read as the API shows it: {"name", "value", "type", "error"}.
    nlohmann::json Read(const std::string& name) const {
        return CoreJson::ValueRead(access->Read(name));
    }
    // One item written alone: its error, or null.
    nlohmann::json Write(const std::string& name, const Value& value) const {
        return CoreJson::Error(access->Write({{name, value}}).results.front());
    }
};

TEST(ModbusMemory, ReadsEveryLocatedKindWhereTheConventionPutsIt) {
    LocalModbusServer server(LocalModbusServer::Mode::Answer);
    modbus_mapping_t& map = server.Map();
    map.tab_input_bits[8 * 1 + 2] = 1;    // %IX1.2
    map.tab_bits[5] = 1;                  // %QX0.5
    map.tab_input_registers[3] = 0xFFFE;  // %IW3
    map.tab_registers[2] = 0x1234;        // %QW2
    map.tab_registers[1024 + 10] = 1500;  // %MW10
    map.tab_registers[2048 + 8] = 0x0001; // %MD4, most significant word first
    map.tab_registers[2048 + 9] = 0x0002;
    map.tab_registers[2048 + 10] = 0x3FC0; // %MD5 = 1.5f
    map.tab_registers[4096 + 12] = 0xC002; // %ML3 = -2.25
    map.tab_registers[1024 + 12] = 0x0808; // %MW12, bits 3 and 11
    map.tab_registers[65535] = 0x8001;     // %QW65535, %MW64511.15, the end of %ML15359
    map.tab_bits[65535] = 1;               // %QX8191.7
    Fixture fixture(server.Port());
    const std::vector<std::pair<std::string, Value>> expected = {
        {"In", true},           {"Out", true},          {"Sensor", I{-2}},  {"Valve", U{0x1234}},
        {"Speed", I{1500}},     {"Count", I{65538}},    {"Ratio", 1.5},     {"Total", -2.25},
        {"Mode.3", true},       {"Mode.2", false},      {"Mode.11", true},  {"Mode.10", false},
        {"LastWord", U{32769}}, {"LastLong", I{32769}}, {"LastMark", true}, {"LastCoil", true}};
    for (const auto& [name, value] : expected) {
        const ValueResult result = fixture.access->Read(name);
        EXPECT_TRUE(result.Ok()) << name << ": " << result.Message();
        EXPECT_EQ(result.value, value) << name;
    }
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"Plain", "it is not located, so it has no Modbus place"},
        {"PastWord", "it lies beyond the Modbus address range"},
        {"PastLong", "it lies beyond the Modbus address range"},
        {"PastMark", "it lies beyond the Modbus address range"},
        {"PastCoil", "it lies beyond the Modbus address range"}};
    for (const auto& [name, error] : refused) {
        const ValueResult result = fixture.access->Read(name);
        EXPECT_FALSE(result.value.has_value()) << name;
        EXPECT_EQ(result.fault, ValueFault::Memory) << name;
        EXPECT_EQ(CoreJson::Error(result), name + ": " + error);
    }
}

// A PLC that numbers its memory as it is: %MWn is holding register n, %Mn coil n.
TEST(ModbusMemory, FlatMapReadsAndWritesWhereThePlcNumbersItsMemory) {
    const std::string globals = Var("Speed", "<INT/>", "%MW10") + Var("Count", "<DINT/>", "%MD8") +
                                Var("Total", "<LREAL/>", "%ML5") + Var("Mode", "<WORD/>", "%MW30") +
                                Var("High", "<BOOL/>", "%MX61.2") + Var("Flag", "<BOOL/>", "%M7") +
                                Var("In", "<BOOL/>", "%IX1.2") + Var("Sensor", "<INT/>", "%IW3");
    LocalModbusServer server(LocalModbusServer::Mode::Answer);
    modbus_mapping_t& map = server.Map();
    map.tab_registers[10] = 1500;
    map.tab_registers[16] = 0x0001; // %MD8, most significant word first
    map.tab_registers[17] = 0x0002;
    map.tab_registers[20] = 0xC002; // %ML5 = -2.25
    map.tab_registers[30] = 0x0408; // %MW30 bit 3, and bit 10 (%MX61.2)
    map.tab_bits[7] = 1;
    Fixture fixture(server.Port(), ModbusMemory::WordOrder::HighFirst, RegisterMap::Flat(),
                    hosttest::Project("", "", globals));
    const std::vector<std::pair<std::string, Value>> expected = {
        {"Speed", I{1500}}, {"Count", I{65538}}, {"Total", -2.25}, {"Mode.3", true},
        {"Mode.2", false},  {"High", true},      {"Flag", true}};
    for (const auto& [name, value] : expected) {
        const ValueResult result = fixture.access->Read(name);
        EXPECT_TRUE(result.Ok()) << name << ": " << result.Message();
        EXPECT_EQ(result.value, value) << name;
    }
    // The same read as one batch, grouped.
    const std::vector<ValueResult> batch = fixture.access->ReadMany({"Speed", "Count", "Flag"});
    EXPECT_EQ(batch[2].value, Value(true)) << batch[2].Message();
    EXPECT_EQ(fixture.Read("In")["error"], "In: %IX has no Modbus place in the flat register map");
    EXPECT_EQ(fixture.Read("Sensor")["error"],
              "Sensor: %IW has no Modbus place in the flat register map");

    EXPECT_TRUE(fixture.Write("Flag", false).is_null());
    EXPECT_TRUE(fixture.Write("High", false).is_null());
    EXPECT_TRUE(fixture.Write("Count", I{-2}).is_null());
    EXPECT_EQ(map.tab_bits[7], 0);
    EXPECT_EQ(map.tab_registers[30], 0x0008);
    EXPECT_EQ(map.tab_registers[16], 0xFFFF);
    EXPECT_EQ(map.tab_registers[17], 0xFFFE);
}

TEST(ModbusMemory, WritesEveryWritableKindAndBitsOfARegister) {
    LocalModbusServer server(LocalModbusServer::Mode::Answer);
    Fixture fixture(server.Port(), ModbusMemory::WordOrder::LowFirst);
    const std::vector<std::pair<std::string, Value>> writes = {
        {"Out", true},    {"Valve", I{0xBEEF}}, {"Speed", I{-1}}, {"Count", I{65538}},
        {"Total", -2.25}, {"Mode.3", true},     {"Mode.15", true}};
    for (const auto& [name, value] : writes) {
        const nlohmann::json error = fixture.Write(name, value);
        EXPECT_TRUE(error.is_null()) << name << ": " << error;
    }
    modbus_mapping_t& map = server.Map();
    EXPECT_EQ(map.tab_bits[5], 1);
    EXPECT_EQ(map.tab_registers[2], 0xBEEF);
    EXPECT_EQ(map.tab_registers[1034], 0xFFFF);
    EXPECT_EQ(map.tab_registers[2056], 0x0002); // least significant word first
    EXPECT_EQ(map.tab_registers[2057], 0x0001);
    EXPECT_EQ(map.tab_registers[4096 + 15], 0xC002);
    EXPECT_EQ(map.tab_registers[1036], 0x8008);
    EXPECT_EQ(fixture.Write("Sensor", I{1}),
              "Sensor: input register 3 is an input: it cannot be written");
}

TEST(ModbusMemory, ConcurrentBitWritesIntoOneRegisterKeepEveryBit) {
    LocalModbusServer server(LocalModbusServer::Mode::Answer);
    Fixture fixture(server.Port());
    constexpr int kThreads = 16;
    constexpr int kRounds = 40;
    std::vector<std::thread> threads;
    for (int bit = 0; bit < kThreads; ++bit) {
        threads.emplace_back([&fixture, bit] {
            const std::string name = "Mode." + std::to_string(bit);
            for (int round = 0; round < kRounds; ++round) {
                fixture.Write(name, true);
                fixture.Write(name, round + 1 == kRounds ? bit % 2 == 0 : false);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(server.Map().tab_registers[1036], 0x5555);
}

TEST(ModbusMemory, GroupsNeighbouringRegistersIntoFewRequests) {
    LocalModbusServer server(LocalModbusServer::Mode::Answer);
    for (int i = 0; i < 1000; ++i) {
        server.Map().tab_registers[1024 + 100 + i] = static_cast<std::uint16_t>(i);
    }
    Fixture fixture(server.Port());
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        names.push_back("Words[" + std::to_string(i) + "]");
    }
    const std::vector<ValueResult> results = fixture.access->ReadMany(names);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(results[i].value, Value(I{i})) << results[i].Message();
    }
    EXPECT_EQ(server.Requests(), 8); // 1,000 registers, 125 a request
    // A whole array read is grouped the same way.
    EXPECT_EQ(fixture.Read("Words")["value"].size(), 1000U);
    EXPECT_EQ(server.Requests(), 16);
    // A device that takes fewer registers a request gets more, smaller requests. The server
    // serves one connection at a time: the first program lets go of its own.
    fixture.program.reset();
    Fixture smaller(server.Port(), ModbusMemory::WordOrder::HighFirst, RegisterMap::OpenRuntime(),
                    LocatedProgram(), 50);
    const std::vector<ValueResult> again = smaller.access->ReadMany(names);
    EXPECT_EQ(again[999].value, Value(I{999})) << again[999].Message();
    EXPECT_EQ(server.Requests(), 16 + 20);
}

TEST(ModbusMemory, ReportsFailuresWithTheirReasonAndConnectsAgain) {
    {
        LocalModbusServer server(LocalModbusServer::Mode::Drop);
        Fixture fixture(server.Port());
        const nlohmann::json dropped = fixture.Read("Speed");
        ASSERT_TRUE(dropped["error"].is_string());
        EXPECT_NE(dropped["error"].get<std::string>().find("Speed: 127.0.0.1:"), std::string::npos)
            << dropped["error"];
    }
    {
        LocalModbusServer server(LocalModbusServer::Mode::Silent);
        server.Map().tab_registers[1034] = 7;
        Fixture fixture(server.Port());
        const auto start = std::chrono::steady_clock::now();
        const nlohmann::json silent = fixture.Read("Speed");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_NE(silent["error"].get<std::string>().find("timed out"), std::string::npos)
            << silent["error"];
        // The PLC is left alone for its back-off period, then the next request connects again,
        // to a server that now answers.
        server.SetMode(LocalModbusServer::Mode::Answer);
        EXPECT_NE(fixture.Read("Speed")["error"].get<std::string>().find("not answering"),
                  std::string::npos);
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        EXPECT_EQ(fixture.Read("Speed")["value"], 7);
    }
    std::uint16_t port = 0;
    {
        LocalModbusServer server(LocalModbusServer::Mode::Answer);
        port = server.Port();
        Fixture fixture(port);
        // A register beyond the server's map: an exception, and the connection stays.
        const nlohmann::json exception = fixture.Read("Words[999]");
        EXPECT_TRUE(exception["error"].is_null());
        server.Map().nb_registers = 1024;
        EXPECT_EQ(fixture.Read("Speed")["error"],
                  "Speed: 127.0.0.1:" + std::to_string(port) +
                      "/1: reading holding register 1034: the PLC answered with an exception: "
                      "Illegal data address");
    }
    // The server is gone: refused, then the next request tries again.
    Fixture fixture(port);
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(fixture.Read("Speed")["error"],
                  "Speed: cannot connect to 127.0.0.1:" + std::to_string(port) +
                      "/1: Connection refused");
    }
}

struct TargetCase {
    const char* text;
    const char* parsed; // Text() of the target, or null when refused
};

TEST(ModbusTarget, ReadsHostPortAndUnitWithTheirDefaults) {
    const std::vector<TargetCase> cases = {
        {"plc", "plc:502/1"},
        {"plc:1502", "plc:1502/1"},
        {"plc/3", "plc:502/3"},
        {"127.0.0.1:1502/7", "127.0.0.1:1502/7"},
        {"[::1]:1502/2", "[::1]:1502/2"},
        {"plc:0", nullptr},
        {"plc:port", nullptr},
        {"plc:70000", nullptr},
        {"plc/256", nullptr},
        {":502", nullptr},
    };
    for (const TargetCase& c : cases) {
        std::string error;
        const auto target = ModbusTarget::Parse(c.text, error);
        if (c.parsed == nullptr) {
            EXPECT_FALSE(target.has_value()) << c.text;
            EXPECT_FALSE(error.empty()) << c.text;
        } else {
            ASSERT_TRUE(target.has_value()) << c.text << ": " << error;
            EXPECT_EQ(target->Text(), c.parsed);
        }
    }
}

} // namespace

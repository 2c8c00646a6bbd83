// Values by name over the memory image: the programs' initial values, reads of composites,
// writes and their refusals, and concurrent bit writes into one word.
#include "HostTestSupport.h"
#include "commands/HostSession.h"
#include "values/InitialValues.h"
#include "values/MemoryImage.h"
#include "values/ValueAccess.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using hosttest::Var;

// A session over a file, its image filled with the initial values.
struct Loaded {
    std::unique_ptr<HostSession> session;
    std::unique_ptr<MemoryImage> image;
    std::unique_ptr<ValueAccess> access;
    std::vector<std::string> problems;

    explicit Loaded(const std::string& path) {
        Diagnostics diagnostics(path);
        session = HostSession::Open(path, {}, diagnostics);
        if (!session) {
            return;
        }
        image = std::make_unique<MemoryImage>(session->Layout());
        access = std::make_unique<ValueAccess>(*session, *image);
        problems = InitialValues(session->Layout()).WriteInto(*access);
    }
    nlohmann::json Value(const std::string& name) const {
        const nlohmann::json result = access->Read(name);
        EXPECT_TRUE(result["error"].is_null()) << name << ": " << result["error"];
        return result["value"];
    }
};

const char* kInitialTypes = R"(
<dataType name="Level"><baseType><INT/></baseType>
  <initialValue><simpleValue value="7"/></initialValue></dataType>
<dataType name="Colour"><baseType><enum><values><value name="Red"/><value name="Green"/>
  <value name="Blue" value="5"/></values></enum></baseType>
  <initialValue><simpleValue value="Green"/></initialValue></dataType>
<dataType name="Point"><baseType><struct>
  <variable name="X"><type><REAL/></type><initialValue><simpleValue value="1.5"/></initialValue></variable>
  <variable name="Y"><type><derived name="Level"/></type></variable>
  <variable name="Name"><type><string length="8"/></type></variable>
</struct></baseType></dataType>
)";

std::string InitialProgram() {
    const std::string array =
        "<array><dimension lower=\"1\" upper=\"2\"/>"
        "<dimension lower=\"0\" upper=\"2\"/><baseType><INT/></baseType></array>";
    const std::string globals =
        Var("Table", array) + Var("Start", "<derived name=\"Point\"/>") +
        Var("Colours", "<array><dimension lower=\"0\" upper=\"2\"/><baseType><derived "
                       "name=\"Colour\"/></baseType></array>") +
        Var("Big", "<LREAL/>", "", "-2.25") + Var("Wait", "<TIME/>", "", "T#1s500ms") +
        Var("Flag", "<WORD/>", "%MW4", "16#0008") + Var("Quoted", "<string/>", "", "'it$'s'");
    std::string xml = hosttest::Project(kInitialTypes, "", globals);
    // Array and structure values, with a repetition.
    const auto set = [&xml](const std::string& name, const std::string& value) {
        const std::string anchor = "<variable name=\"" + name + "\"><type>";
        const std::size_t at = xml.find("</variable>", xml.find(anchor));
        xml.insert(at, "<initialValue>" + value + "</initialValue>");
    };
    set("Table", "<arrayValue><value repetitionValue=\"2\"><simpleValue value=\"4\"/></value>"
                 "<value><simpleValue value=\"16#10\"/></value></arrayValue>");
    // Member names are matched without regard to case.
    set("Start", "<structValue><value member=\"Name\"><simpleValue value=\"'origin'\"/></value>"
                 "<value member=\"y\"><simpleValue value=\"9\"/></value></structValue>");
    set("Colours", "<arrayValue><value><simpleValue value=\"Colour#Blue\"/></value></arrayValue>");
    return xml;
}

TEST(ValuesImage, HoldsTheInitialValuesOfEveryKind) {
    const Loaded loaded(hosttest::WriteTempFile("initial.xml", InitialProgram()));
    ASSERT_TRUE(loaded.session);
    EXPECT_TRUE(loaded.problems.empty()) << loaded.problems.front();
    EXPECT_EQ(loaded.Value("Table"), nlohmann::json::parse("[[4,4,16],[0,0,0]]"));
    EXPECT_EQ(loaded.Value("Start"), nlohmann::json::parse(R"({"X":1.5,"Y":9,"Name":"origin"})"));
    EXPECT_EQ(loaded.Value("Colours"), nlohmann::json::parse("[5,1,1]"));
    EXPECT_EQ(loaded.Value("Big"), -2.25);
    EXPECT_EQ(loaded.Value("Wait"), "T#1s500ms");
    EXPECT_EQ(loaded.access->Read("Wait")["milliseconds"], 1500);
    EXPECT_EQ(loaded.Value("Flag.3"), true);
    EXPECT_EQ(loaded.Value("Quoted"), "it's");
    EXPECT_EQ(loaded.access->Read("Big")["type"], "LREAL");
}

TEST(ValuesImage, HoldsTheExamplesInitialValues) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.session);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.Value("LineName"), "Bottling line 1");
    EXPECT_EQ(loaded.Value("Line.ActiveRecipe"), 1);
    EXPECT_EQ(loaded.Value("Motor1.Speed"), 0);
    EXPECT_EQ(loaded.Value("Line.Conveyors").size(), 3U);
    EXPECT_EQ(loaded.Value("Line.Recipes[4]"), nlohmann::json::parse("[0.0,0.0,0.0]"));
}

TEST(ValuesImage, HoldsTheSamplePrograms) {
    const std::filesystem::path directory(VARBANK_SAMPLES_DIR);
    if (!std::filesystem::is_directory(directory)) {
        GTEST_SKIP() << "no sample programs at " VARBANK_SAMPLES_DIR;
    }
    std::size_t checked = 0;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().extension() != ".xml") {
            continue;
        }
        SCOPED_TRACE(entry.path().string());
        const Loaded loaded(entry.path().string());
        ASSERT_TRUE(loaded.session);
        for (const std::string& problem : loaded.problems) {
            ADD_FAILURE() << problem;
        }
        // Every top-level variable reads, whole.
        for (const VariableLayout& variable : loaded.session->Layout().variables) {
            const nlohmann::json result = loaded.access->Read(variable.name);
            EXPECT_TRUE(result["error"].is_null()) << variable.name << ": " << result["error"];
        }
        ++checked;
    }
    EXPECT_GT(checked, 0U);
}

struct WriteCase {
    const char* name;
    nlohmann::json value;
    const char* error; // null when written
};

TEST(ValuesImage, WritesByTypeAndRefusesWithoutWriting) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.session);
    const std::vector<WriteCase> cases = {
        {"Motor1.Speed", 1500, nullptr},
        {"Motor1.Speed", 40000, "Motor1.Speed: 40000 is out of range for INT (-32768..32767)"},
        {"Motor1.Current", "abc", "Motor1.Current: 'abc' is not a REAL"},
        {"Motor1.Label", "a label too long",
         "Motor1.Label: 'a label too long' is longer than "
         "STRING[12] holds (12 bytes)"},
        {"Motor1", 1,
         "Motor1: a structure, array or function block is written member by "
         "member, not whole"},
        {"Nope", 1, "Nope: unknown variable"},
        {"Line.Mode", "Fault", nullptr},
        {"Status.3", true, nullptr},
        {"Line.Filler.Level", "2.5", nullptr},
    };
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        const nlohmann::json before = loaded.access->Read(c.name)["value"];
        const nlohmann::json result = loaded.access->Write(c.name, c.value);
        if (c.error == nullptr) {
            EXPECT_TRUE(result["error"].is_null()) << result["error"];
        } else {
            EXPECT_EQ(result["error"], c.error);
            EXPECT_EQ(loaded.access->Read(c.name)["value"], before);
        }
    }
    EXPECT_EQ(loaded.Value("Motor1.Speed"), 1500);
    EXPECT_EQ(loaded.Value("Line.Mode"), 2);
    EXPECT_EQ(loaded.Value("Status"), 8);
    // A function block's local lies apart from the variable the dictionary gives the same
    // offset (Line.Recipes starts where the filler's locals are counted from).
    EXPECT_EQ(loaded.Value("Line.Filler.Level"), 2.5);
    EXPECT_EQ(loaded.Value("Line.Recipes[1][1]"), 0.0);
}

TEST(ValuesImage, ConcurrentBitWritesIntoOneWordKeepEveryBit) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.session);
    constexpr int kThreads = 16;
    constexpr int kRounds = 10000;
    std::vector<std::thread> threads;
    for (int bit = 0; bit < kThreads; ++bit) {
        threads.emplace_back([&loaded, bit] {
            const std::string name = "Status." + std::to_string(bit);
            for (int round = 0; round < kRounds; ++round) {
                loaded.access->Write(name, true);
                loaded.access->Write(name, round + 1 == kRounds ? bit % 2 == 0 : false);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(loaded.Value("Status"), 0x5555); // the even bits set, the odd ones cleared
}

struct LeafCase {
    std::vector<std::string> names;
    std::vector<std::size_t> sizes; // of each value read, or empty when the read is refused
};

// The leaves of the structures and arrays one read gathers count together.
TEST(ValuesImage, BoundsTheLeavesOfOneReadAtTenThousand) {
    const auto ints = [](int count) {
        return "<array><dimension lower=\"1\" upper=\"" + std::to_string(count) +
               "\"/><baseType><INT/></baseType></array>";
    };
    const std::string globals = Var("All", ints(10000)) + Var("Big", ints(10001)) +
                                Var("Six", ints(6000)) + Var("Four", ints(4000)) +
                                Var("One", ints(1));
    const Loaded loaded(hosttest::WriteTempFile("leaves.xml", hosttest::Project("", "", globals)));
    ASSERT_TRUE(loaded.session);
    const std::vector<LeafCase> cases = {
        {{"All"}, {10000}},
        {{"Six", "Four"}, {6000, 4000}},
        {{"Big"}, {}},
        {{"Six", "Four", "One"}, {}},
    };
    for (const LeafCase& c : cases) {
        SCOPED_TRACE(c.names.front() + " and " + std::to_string(c.names.size() - 1) + " more");
        const std::vector<nlohmann::json> results = loaded.access->ReadMany(c.names);
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            if (c.sizes.empty()) {
                EXPECT_TRUE(results[i]["value"].is_null());
                EXPECT_EQ(results[i]["error"],
                          c.names[i] + ": the read has more than 10000 leaves; read fewer "
                                       "names, or parts one by one");
            } else {
                EXPECT_TRUE(results[i]["error"].is_null()) << results[i]["error"];
                EXPECT_EQ(results[i]["value"].size(), c.sizes[i]);
            }
        }
    }
}

} // namespace

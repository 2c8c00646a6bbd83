// Values by name over the memory image: the programs' initial values, reads of composites,
// writes and their refusals, and concurrent bit writes into one word.
#include "HostTestSupport.h"
#include "core/Program.h"
#include "core/ValueAccess.h"
#include "json/CoreJson.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using hosttest::Var;
using I = std::int64_t;

// A program over a file, its memory image filled with the initial values by Program::Open.
struct Loaded {
    std::shared_ptr<Program> program;
    ValueAccess* access = nullptr;
    std::vector<std::string> problems; // the initial values that did not fit

    explicit Loaded(const std::string& path) {
        Diagnostics diagnostics(path);
        program = Program::Open(path, {}, diagnostics);
        if (!program) {
            return;
        }
        access = &program->Values();
        // The initial values' problems are the remarks about the whole file.
        for (const Diagnostics::Entry& entry : diagnostics.Entries()) {
            if (entry.severity == Diagnostics::Severity::Remark && entry.line == 0) {
                problems.push_back(entry.message);
            }
        }
    }
    // The value read, as JSON.
    nlohmann::json Json(const std::string& name) const {
        const ValueResult result = access->Read(name);
        EXPECT_TRUE(result.Ok()) << name << ": " << CoreJson::Error(result);
        return result.value ? CoreJson::FromValue(*result.value) : nlohmann::json();
    }
    // One item written alone.
    ValueResult Write(const std::string& name, const Value& value) const {
        return access->Write({{name, value}}).results.front();
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
    ASSERT_TRUE(loaded.program);
    EXPECT_TRUE(loaded.problems.empty()) << loaded.problems.front();
    EXPECT_EQ(loaded.Json("Table"), nlohmann::json::parse("[[4,4,16],[0,0,0]]"));
    EXPECT_EQ(loaded.Json("Start"), nlohmann::json::parse(R"({"X":1.5,"Y":9,"Name":"origin"})"));
    EXPECT_EQ(loaded.Json("Colours"), nlohmann::json::parse("[5,1,1]"));
    EXPECT_EQ(loaded.Json("Big"), -2.25);
    EXPECT_EQ(loaded.Json("Wait"), "T#1s500ms");
    EXPECT_EQ(loaded.access->Read("Wait").milliseconds, Value(I{1500}));
    EXPECT_EQ(loaded.Json("Flag.3"), true);
    EXPECT_EQ(loaded.Json("Quoted"), "it's");
    EXPECT_EQ(loaded.access->Read("Big").type, "LREAL");
}

TEST(ValuesImage, HoldsTheExamplesInitialValues) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.program);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.Json("LineName"), "Bottling line 1");
    EXPECT_EQ(loaded.Json("Line.ActiveRecipe"), 1);
    EXPECT_EQ(loaded.Json("Motor1.Speed"), 0);
    EXPECT_EQ(loaded.Json("Line.Conveyors").size(), 3U);
    EXPECT_EQ(loaded.Json("Line.Recipes[4]"), nlohmann::json::parse("[0.0,0.0,0.0]"));
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
        ASSERT_TRUE(loaded.program);
        for (const std::string& problem : loaded.problems) {
            ADD_FAILURE() << problem;
        }
        // Every top-level variable reads, whole.
        const VariableTable& variables = loaded.program->Variables();
        for (std::size_t i = 0; i < variables.Size(); ++i) {
            const std::string name(variables.Name(i));
            const ValueResult result = loaded.access->Read(name);
            EXPECT_TRUE(result.Ok()) << name << ": " << CoreJson::Error(result);
        }
        ++checked;
    }
    EXPECT_GT(checked, 0U);
}

struct WriteCase {
    const char* name;
    Value value;
    std::string error; // empty when written
};

// Each case written alone: a refused one leaves the value as it was (and, when badValues, is
// refused as a bad value).
void ExpectWrites(const Loaded& loaded, const std::vector<WriteCase>& cases, bool badValues) {
    for (const WriteCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<Value> before = loaded.access->Read(c.name).value;
        const ValueResult result = loaded.Write(c.name, c.value);
        if (c.error.empty()) {
            EXPECT_TRUE(result.Ok()) << CoreJson::Error(result);
        } else {
            EXPECT_EQ(CoreJson::Error(result), c.error);
            if (badValues) {
                EXPECT_EQ(result.fault, ValueFault::BadValue);
            }
            EXPECT_EQ(loaded.access->Read(c.name).value, before);
        }
    }
}

void ExpectBoundedWrites(const Loaded& loaded, const std::vector<WriteCase>& cases) {
    ExpectWrites(loaded, cases, true);
}

TEST(ValuesImage, WritesByTypeAndRefusesWithoutWriting) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.program);
    const std::vector<WriteCase> cases = {
        {"Motor1.Speed", I{1500}, ""},
        {"Motor1.Speed", I{40000}, "Motor1.Speed: 40000 is out of range for INT (-32768..32767)"},
        {"Motor1.Current", "abc", "Motor1.Current: 'abc' is not a REAL"},
        {"Motor1.Label", "a label too long",
         "Motor1.Label: 'a label too long' is longer than "
         "STRING[12] holds (12 bytes)"},
        {"Motor1", I{1},
         "Motor1: a structure, array or function block is written member by "
         "member, not whole"},
        {"Nope", I{1}, "Nope: unknown variable"},
        {"Line.Mode", "Fault", ""},
        {"Status.3", true, ""},
        {"Line.Filler.Level", "2.5", ""},
        {"Line.Conveyors[1].Load", I{101},
         "Line.Conveyors[1].Load: 101 is outside the range 0..100 of Percent"},
        {"Line.Conveyors[1].Load", I{-1},
         "Line.Conveyors[1].Load: -1 is outside the range 0..100 of Percent"},
        {"Line.Conveyors[1].Load", I{100}, ""},
        {"Motor1.State", I{99},
         "Motor1.State: 99 is not a value of the enumeration MotorState (Stopped, Running, "
         "Fault)"},
        {"Motor1.State", "Runing",
         "Motor1.State: 'Runing' is not a value of the enumeration MotorState (Stopped, "
         "Running, Fault)"},
        {"Motor1.State", I{2}, ""},
        {"Motor1.Label", std::string("ab\0cd", 5),
         "Motor1.Label: a STRING[12] cannot hold a NUL character (the text has one at byte 2)"},
    };
    ExpectWrites(loaded, cases, false);
    EXPECT_EQ(loaded.Json("Motor1.Speed"), 1500);
    EXPECT_EQ(loaded.Json("Line.Mode"), 2);
    EXPECT_EQ(loaded.Json("Status"), 8);
    // A function block's local lies apart from the variable the dictionary gives the same
    // offset (Line.Recipes starts where the filler's locals are counted from).
    EXPECT_EQ(loaded.Json("Line.Filler.Level"), 2.5);
    EXPECT_EQ(loaded.Json("Line.Recipes[1][1]"), 0.0);
}

const char* kDeclaredTypes = R"(
<dataType name="Percent"><baseType><subrangeSigned><range lower="0" upper="100"/>
  <baseType><INT/></baseType></subrangeSigned></baseType></dataType>
<dataType name="Load"><baseType><derived name="Percent"/></baseType></dataType>
<dataType name="Wide"><baseType><subrangeSigned><range lower="-50" upper="16#FF"/>
  <baseType><derived name="Load"/></baseType></subrangeSigned></baseType></dataType>
<dataType name="Big"><baseType><subrangeUnsigned><range lower="10" upper="9223372036854775807"/>
  <baseType><ULINT/></baseType></subrangeUnsigned></baseType></dataType>
<dataType name="Colour"><baseType><enum><values><value name="Red"/><value name="Green"/>
  <value name="Blue" value="5"/></values></enum></baseType></dataType>
<dataType name="Paint"><baseType><derived name="Colour"/></baseType></dataType>
<dataType name="Gauge"><baseType><struct>
  <variable name="Fill"><type><derived name="Wide"/></type></variable>
</struct></baseType></dataType>
)";

// Subranges and enumerations bound writes, through aliases and chains of them, in arrays and
// structures, whatever literal gives the value; texts hold no NUL.
TEST(ValuesImage, DeclaredTypesBoundWrites) {
    const std::string globals =
        Var("P", "<derived name=\"Percent\"/>") + Var("W", "<derived name=\"Wide\"/>") +
        Var("B", "<derived name=\"Big\"/>") + Var("C", "<derived name=\"Paint\"/>") +
        Var("G", "<derived name=\"Gauge\"/>") +
        Var("L", "<array><dimension lower=\"1\" upper=\"2\"/><baseType><derived "
                 "name=\"Load\"/></baseType></array>") +
        Var("S", "<string length=\"8\"/>") + Var("U", "<wstring/>");
    const Loaded loaded(
        hosttest::WriteTempFile("declared.xml", hosttest::Project(kDeclaredTypes, "", globals)));
    ASSERT_TRUE(loaded.program);
    const std::string colours = " is not a value of the enumeration Colour (Red, Green, Blue)";
    const std::vector<WriteCase> cases = {
        {"P", I{0}, ""},
        {"P", "16#64", ""},
        {"P", "16#65", "P: 101 is outside the range 0..100 of Percent"},
        {"P", I{40000}, "P: 40000 is outside the range 0..100 of Percent"},
        {"P", "abc", "P: 'abc' is not a INT"},
        // The subrange of an alias of a subrange: both bound it.
        {"W", I{-50}, "W: -50 is outside the range 0..100 of Percent"},
        {"W", I{150}, "W: 150 is outside the range 0..100 of Percent"},
        {"G.Fill", I{101}, "G.Fill: 101 is outside the range 0..100 of Percent"},
        {"G.Fill", I{7}, ""},
        {"L[2]", I{101}, "L[2]: 101 is outside the range 0..100 of Percent"},
        {"L[2]", I{100}, ""},
        {"B", std::uint64_t{9223372036854775808ULL},
         "B: 9223372036854775808 is outside the range 10..9223372036854775807 of Big"},
        {"B", std::uint64_t{9223372036854775807ULL}, ""},
        {"C", I{5}, ""},
        {"C", "Paint#Green", ""},
        {"C", "Red#Green", "C: 'Red#Green'" + colours},
        {"C", "Colour#Green", ""},
        {"C", I{2}, "C: 2" + colours},
        {"C", true, "C: true" + colours},
        {"S", std::string("\0", 1),
         "S: a STRING[8] cannot hold a NUL character (the text has one "
         "at byte 0)"},
        {"U", std::string("\0", 1),
         "U: a WSTRING cannot hold a NUL character (the text has one "
         "at byte 0)"},
        {"S", "", ""},
    };
    ExpectBoundedWrites(loaded, cases);
    EXPECT_EQ(loaded.Json("P"), 100);
    EXPECT_EQ(loaded.Json("C"), 1);
}

const char* kInPlaceTypes = R"(
<dataType name="Percent"><baseType><subrangeSigned><range lower="0" upper="100"/>
  <baseType><INT/></baseType></subrangeSigned></baseType></dataType>
<dataType name="Tank"><baseType><struct>
  <variable name="Fill"><type><subrangeSigned><range lower="-10" upper="10"/>
    <baseType><DINT/></baseType></subrangeSigned></type></variable>
</struct></baseType></dataType>
)";

// Subranges and enumerations written in place, in a global's, a program variable's, a member's
// and an array element's type, bound writes as declared ones do; the initial values stay as the
// program declares them.
TEST(ValuesImage, InPlaceTypesBoundWrites) {
    const std::string level = "<subrangeSigned><range lower=\"0\" upper=\"100\"/><baseType><INT/>"
                              "</baseType></subrangeSigned>";
    const std::string onOff =
        "<enum><values><value name=\"Off\"/><value name=\"On\"/></values></enum>";
    const std::string globals =
        Var("Level", level, "", "150") + Var("Switch", onOff, "", "On") +
        Var("Mode",
            "<enum><values><value name=\"Auto\" value=\"4\"/><value name=\"Manual\"/></values>"
            "<baseType><SINT/></baseType></enum>") +
        Var("Narrow", "<subrangeSigned><range lower=\"10\" upper=\"20\"/><baseType><derived "
                      "name=\"Percent\"/></baseType></subrangeSigned>") +
        Var("T", "<derived name=\"Tank\"/>") +
        Var("Levels", "<array><dimension lower=\"1\" upper=\"4\"/><baseType>" + level +
                          "</baseType></array>");
    const std::string pous =
        "<pou name=\"Main\" pouType=\"program\"><interface><localVars>" +
        Var("Speed", "<subrangeUnsigned><range lower=\"1\" upper=\"9\"/><baseType><UINT/>"
                     "</baseType></subrangeUnsigned>") +
        "</localVars></interface></pou>";
    const std::string instances =
        "<task name=\"T\" priority=\"1\"><pouInstance name=\"Inst\" typeName=\"Main\"/></task>";
    const Loaded loaded(hosttest::WriteTempFile(
        "in_place.xml", hosttest::Project(kInPlaceTypes, pous, globals, instances)));
    ASSERT_TRUE(loaded.program);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.Json("Level"), 150);
    EXPECT_EQ(loaded.Json("Switch"), 1);
    const std::vector<std::pair<const char*, const char*>> shown = {
        {"Level", "INT (0..100)"},
        {"Switch", "(Off, On)"},
        {"Mode", "SINT (Auto := 4, Manual)"},
        {"Narrow", "Percent (10..20)"},
        {"Levels", "ARRAY[1..4] OF INT (0..100)"},
        {"Levels[1]", "INT (0..100)"},
    };
    for (const auto& [name, type] : shown) {
        EXPECT_EQ(loaded.access->Read(name).type, type) << name;
    }
    const std::string onOffValues = " is not a value of the enumeration (Off, On)";
    const std::vector<WriteCase> cases = {
        {"Level", I{0}, ""},
        {"Level", I{100}, ""},
        {"Level", I{101}, "Level: 101 is outside the range 0..100 of INT (0..100)"},
        {"Level", I{-1}, "Level: -1 is outside the range 0..100 of INT (0..100)"},
        {"Inst.Speed", I{1}, ""},
        {"Inst.Speed", I{9}, ""},
        {"Inst.Speed", I{0}, "Inst.Speed: 0 is outside the range 1..9 of UINT (1..9)"},
        {"Inst.Speed", I{10}, "Inst.Speed: 10 is outside the range 1..9 of UINT (1..9)"},
        {"T.Fill", I{-10}, ""},
        {"T.Fill", I{10}, ""},
        {"T.Fill", I{-11}, "T.Fill: -11 is outside the range -10..10 of DINT (-10..10)"},
        {"T.Fill", I{11}, "T.Fill: 11 is outside the range -10..10 of DINT (-10..10)"},
        {"Levels[1]", I{0}, ""},
        {"Levels[4]", I{100}, ""},
        {"Levels[4]", I{101}, "Levels[4]: 101 is outside the range 0..100 of INT (0..100)"},
        {"Levels[1]", I{-1}, "Levels[1]: -1 is outside the range 0..100 of INT (0..100)"},
        // Both the subrange in place and the declared one it narrows bound it.
        {"Narrow", I{10}, ""},
        {"Narrow", I{20}, ""},
        {"Narrow", I{21}, "Narrow: 21 is outside the range 10..20 of Percent (10..20)"},
        {"Narrow", I{9}, "Narrow: 9 is outside the range 10..20 of Percent (10..20)"},
        {"Switch", "Off", ""},
        {"Switch", I{1}, ""},
        {"Switch", I{2}, "Switch: 2" + onOffValues},
        {"Switch", "Dim", "Switch: 'Dim'" + onOffValues},
        {"Mode", "Auto", ""},
        {"Mode", I{5}, ""},
        {"Mode", I{3}, "Mode: 3 is not a value of the enumeration (Auto, Manual)"},
        {"Mode", I{6}, "Mode: 6 is not a value of the enumeration (Auto, Manual)"},
    };
    ExpectBoundedWrites(loaded, cases);
    EXPECT_EQ(loaded.Json("Switch"), 1);
    EXPECT_EQ(loaded.Json("Mode"), 5);
}

// A write is checked whole before anything is written: a plan with one refused item commits
// nothing, its good items are NotWritten; a plan of good items is written whole, and only when
// committed.
TEST(ValuesImage, WritePlansCommitWholeOrNotAtAll) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.program);
    struct PlanCase {
        const char* name;
        Value value;
        ValueFault prepared;  // the item's fault in the plan
        ValueFault committed; // its fault once the plan is committed
    };
    const std::vector<PlanCase> refused = {
        {"Motor1.Speed", I{1500}, ValueFault::None, ValueFault::NotWritten},
        {"Motor2.Speed", I{40000}, ValueFault::BadValue, ValueFault::BadValue},
        {"Nope", I{1}, ValueFault::Name, ValueFault::Name},
        {"Motor1", I{1}, ValueFault::Composite, ValueFault::Composite},
        {"Status.3", true, ValueFault::None, ValueFault::NotWritten},
    };
    const std::vector<PlanCase> accepted = {
        {"Motor1.Speed", I{1500}, ValueFault::None, ValueFault::None},
        {"Status.3", true, ValueFault::None, ValueFault::None},
        {"Line.Mode", "Fault", ValueFault::None, ValueFault::None},
        {"LineName", "Bottling line 2", ValueFault::None, ValueFault::None},
    };
    const std::vector<std::string> watched = {"Motor1.Speed", "Status.3", "Line.Mode", "LineName"};
    const auto values = [&] {
        std::vector<std::optional<Value>> read;
        for (const ValueResult& result : loaded.access->ReadMany(watched)) {
            read.push_back(result.value);
        }
        return read;
    };
    const std::vector<std::optional<Value>> initial = values();
    for (const auto* cases : {&refused, &accepted}) {
        std::vector<std::pair<std::string, Value>> items;
        for (const PlanCase& c : *cases) {
            items.emplace_back(c.name, c.value);
        }
        const WritePlan plan = loaded.access->Prepare(items);
        EXPECT_EQ(plan.Ready(), cases == &accepted);
        ASSERT_EQ(plan.Items().size(), cases->size());
        EXPECT_EQ(values(), initial); // preparing writes nothing
        const WriteOutcome outcome = loaded.access->Commit(plan);
        ASSERT_EQ(outcome.results.size(), cases->size());
        EXPECT_EQ(outcome.written, cases == &accepted ? cases->size() : 0U);
        for (std::size_t i = 0; i < cases->size(); ++i) {
            const PlanCase& c = (*cases)[i];
            SCOPED_TRACE(c.name);
            EXPECT_EQ(plan.Items()[i].result.fault, c.prepared) << plan.Items()[i].result.reason;
            EXPECT_EQ(outcome.results[i].fault, c.committed) << outcome.results[i].reason;
        }
        if (cases == &refused) {
            EXPECT_EQ(outcome.results[2].nameFault, NameFault::UnknownVariable);
            EXPECT_EQ(values(), initial);
        }
    }
    EXPECT_EQ(values(),
              (std::vector<std::optional<Value>>{I{1500}, true, I{2}, "Bottling line 2"}));
}

TEST(ValuesImage, ConcurrentBitWritesIntoOneWordKeepEveryBit) {
    const Loaded loaded(hosttest::kExample);
    ASSERT_TRUE(loaded.program);
    constexpr int kThreads = 16;
    constexpr int kRounds = 10000;
    std::vector<std::thread> threads;
    for (int bit = 0; bit < kThreads; ++bit) {
        threads.emplace_back([&loaded, bit] {
            const std::string name = "Status." + std::to_string(bit);
            for (int round = 0; round < kRounds; ++round) {
                loaded.Write(name, true);
                loaded.Write(name, round + 1 == kRounds ? bit % 2 == 0 : false);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(loaded.Json("Status"), 0x5555); // the even bits set, the odd ones cleared
}

// A batch reads each name as a read of that name alone would: types that share the dictionary's
// type name or size (LREAL, LINT and DT are 8 bytes; a subrange and an alias of INT; WORD and its
// bits), texts longer than a small read, names that fail, and the same names again in another
// order, with composites between them.
TEST(ValuesImage, ABatchReadsEachNameAsAReadAlone) {
    const std::string globals =
        Var("Real8", "<LREAL/>", "", "-2.25") + Var("Int8", "<LINT/>", "", "-7") +
        Var("Stamp", "<DT/>", "", "DT#2024-01-15-08:00:00") +
        Var("Wait", "<TIME/>", "", "T#1s500ms") + Var("Small", "<INT/>", "", "3") +
        Var("Share", "<derived name=\"Percent\"/>", "", "42") +
        Var("Alias", "<derived name=\"Load\"/>", "", "17") +
        Var("Tint", "<derived name=\"Paint\"/>") + Var("Word", "<WORD/>", "%MW4", "16#0009") +
        Var("Long", "<string length=\"40\"/>", "", "'a text longer than sixteen bytes'") +
        Var("Short", "<string length=\"4\"/>", "", "'ab'") +
        Var("Dial", "<derived name=\"Gauge\"/>") +
        Var("Dials", "<array><dimension lower=\"1\" upper=\"2\"/><baseType><derived "
                     "name=\"Gauge\"/></baseType></array>");
    const Loaded loaded(
        hosttest::WriteTempFile("batch.xml", hosttest::Project(kDeclaredTypes, "", globals)));
    ASSERT_TRUE(loaded.program);
    ASSERT_TRUE(loaded.Write("Dials[2].Fill", Value(I{77})).Ok());
    const std::vector<std::string> names = {
        "Real8",  "Int8",          "Stamp",  "Wait",    "Small", "Share",    "Alias",
        "Tint",   "Word",          "Word.0", "Word.3",  "Long",  "Short",    "Dial",
        "Dials",  "Dials[2].Fill", "Nope",   "Word.16", "2bad",  "Dials[3]", "Word",
        "Word.3", "Long",          "Int8",   "Real8",   "Stamp", "Share",    "Small",
        "Tint",   "Dials[1].Fill", "Alias",  "Short"};
    const std::vector<ValueResult> batch = loaded.access->ReadMany(names);
    ASSERT_EQ(batch.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const ValueResult alone = loaded.access->Read(names[i]);
        EXPECT_EQ(batch[i].name, alone.name);
        EXPECT_EQ(batch[i].type, alone.type);
        EXPECT_EQ(batch[i].value, alone.value);
        EXPECT_EQ(batch[i].milliseconds, alone.milliseconds);
        EXPECT_EQ(batch[i].fault, alone.fault);
        EXPECT_EQ(batch[i].nameFault, alone.nameFault);
        EXPECT_EQ(batch[i].Message(), alone.Message());
    }
    // What the batch read, checked against the values written.
    EXPECT_EQ(batch[0].value, Value(-2.25));
    EXPECT_EQ(batch[0].type, "LREAL");
    EXPECT_EQ(batch[1].value, Value(I{-7}));
    EXPECT_EQ(batch[1].type, "LINT");
    EXPECT_EQ(batch[2].type, "DT");
    EXPECT_EQ(batch[5].type, "Percent");
    EXPECT_EQ(batch[6].type, "Load");
    EXPECT_EQ(batch[8].value, Value(std::uint64_t{9}));
    EXPECT_EQ(batch[9].value, Value(true));
    EXPECT_EQ(batch[10].value, Value(true));
    EXPECT_EQ(batch[11].value, Value("a text longer than sixteen bytes"));
    EXPECT_EQ(batch[12].value, Value("ab"));
    EXPECT_EQ(batch[15].value, Value(I{77}));
    EXPECT_FALSE(batch[16].Ok());
    EXPECT_FALSE(batch[18].Ok());
}

struct LeafCase {
    std::vector<std::string> names;
    std::vector<std::size_t> sizes; // of each value read, or empty when the read is refused
};

// The values one read gathers count together: each leaf of a structure or array, and each
// elementary name; repeating a name counts it again.
TEST(ValuesImage, BoundsTheLeavesOfOneReadAtTenThousand) {
    const auto ints = [](int count) {
        return "<array><dimension lower=\"1\" upper=\"" + std::to_string(count) +
               "\"/><baseType><INT/></baseType></array>";
    };
    const std::string globals = Var("All", ints(10000)) + Var("Big", ints(10001)) +
                                Var("Six", ints(6000)) + Var("Four", ints(4000)) +
                                Var("One", ints(1)) + Var("Single", "<INT/>");
    const Loaded loaded(hosttest::WriteTempFile("leaves.xml", hosttest::Project("", "", globals)));
    ASSERT_TRUE(loaded.program);
    const std::vector<LeafCase> cases = {
        {{"All"}, {10000}},           {{"Six", "Four"}, {6000, 4000}}, {{"Big"}, {}},
        {{"Six", "Four", "One"}, {}}, {{"All", "Single"}, {}},         {{"Single", "All"}, {}},
        {{"Big", "Single"}, {}},
    };
    for (const LeafCase& c : cases) {
        SCOPED_TRACE(c.names.front() + " and " + std::to_string(c.names.size() - 1) + " more");
        const std::vector<ValueResult> results = loaded.access->ReadMany(c.names);
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            if (c.sizes.empty()) {
                EXPECT_FALSE(results[i].value.has_value());
                EXPECT_EQ(results[i].fault, ValueFault::TooManyLeaves);
                EXPECT_EQ(CoreJson::Error(results[i]),
                          c.names[i] + ": the request reads more than 10000 values (each "
                                       "element and member counts); read fewer names, or parts "
                                       "one by one");
            } else {
                ASSERT_TRUE(results[i].Ok()) << results[i].Message();
                EXPECT_EQ(results[i].value->AsList().size(), c.sizes[i]);
            }
        }
    }
}

} // namespace

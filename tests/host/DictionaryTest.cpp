#include "HostTestSupport.h"
#include "core/Program.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace hosttest;

std::shared_ptr<Program> OpenFile(const std::string& path) {
    Diagnostics diagnostics(path);
    auto program = Program::Open(path, {}, diagnostics);
    EXPECT_TRUE(program) << (diagnostics.Entries().empty() ? std::string()
                                                           : diagnostics.Entries()[0].message);
    return program;
}

class ExampleDictionary : public ::testing::Test {
protected:
    void SetUp() override {
        m_Program = OpenFile(kExample);
        ASSERT_TRUE(m_Program);
    }

    std::vector<std::string> ChildNames(const std::string& path, std::uint32_t pageSize = 0) {
        BrowseOptions browse;
        browse.path = path;
        browse.pageSize = pageSize;
        const std::vector<BrowsedPage> pages = m_Program->BrowseAll(browse);
        EXPECT_TRUE(pages.empty() || !pages.back().Failed()) << path;
        std::vector<std::string> names;
        for (const auto& page : pages) {
            for (const auto& child : page.children) {
                names.push_back(child.name);
            }
        }
        return names;
    }

    std::shared_ptr<Program> m_Program;
};

struct ResolveCase {
    const char* name;
    const char* address; // empty: none
    int block;
    std::uint32_t offset;
    std::uint32_t size;
    int bit; // -1: none
    const char* typeName;
    const char* comment;
    int areaKind;
};

// What the dictionary answers for the example's member paths, array elements and bits.
TEST_F(ExampleDictionary, ResolvesPathsElementsAndBits) {
    const ResolveCase cases[] = {
        {"Motor1.Speed", "", 3, 2, 2, -1, "INT", "speed setpoint (rpm)", 1},
        {"motor2.label", "", 3, 32, 12, -1, "STRING[12]", "name on the cabinet", 1},
        {"Speeds[3]", "", 3, 70, 2, -1, "INT", "", 1},
        {"Status", "%MW10", 1, 20, 2, -1, "WORD", "line status word", 1},
        {"Status.3", "%MW10.3", 1, 20, 2, 3, "WORD", "line status word", 1},
        {"Counter", "%MD6", 1, 24, 4, -1, "DINT", "bottles since start", 1},
        {"StartButton", "%M5", 2, 5, 1, -1, "BOOL", "start push-button", 1},
        {"AlarmLamp", "%MX30.2", 1, 30, 2, 2, "BOOL", "alarm lamp", 1},
        {"Line.Recipes[2][3]", "", 3, 120, 4, -1, "REAL", "", 1},
        {"Line.Conveyors[2].Belt.Speed", "", 3, 180, 2, -1, "INT", "speed setpoint (rpm)", 1},
        {"Line.Conveyors[3].Load", "", 3, 236, 2, -1, "INT", "belt load", 1},
        {"Line.Filler.Bottles", "", 3, 96, 4, -1, "DINT", "bottles filled", 1},
        {"Line.Filler", "", 3, 84, 16, -1, "FILLSTATION", "filling station", 1}, // resolved whole
        {"Line.ActiveRecipe", "", 3, 238, 2, -1, "INT", "", 1},
        // A function block's locals lie in its secondary area and have no direct address.
        {"Line.Filler.Level", "", 3, 100, 4, -1, "REAL", "tank level (l)", 2},
    };
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ResolvedItem item = m_Program->Resolve(c.name);
        ASSERT_TRUE(item.Resolved()) << item.reason;
        EXPECT_EQ(item.address, c.address);
        EXPECT_EQ(item.place.block, c.block);
        EXPECT_EQ(item.place.offset, c.offset);
        EXPECT_EQ(item.place.size, c.size);
        EXPECT_EQ(item.place.bit ? int{*item.place.bit} : -1, c.bit);
        EXPECT_EQ(item.typeName, c.typeName);
        EXPECT_EQ(item.comment, c.comment);
        EXPECT_EQ(item.place.areaKind, static_cast<std::uint32_t>(c.areaKind));
    }
}

// The last word and bit of the %M areas are accepted, and their address texts are exact.
TEST(EdgeAddresses, TheLastWordAndBitListTheirAddresses) {
    const std::string path = WriteTempFile(
        "edges.xml",
        Project("", "",
                Var("Words",
                    "<array><dimension lower=\"0\" upper=\"1\"/><baseType><INT/></baseType>"
                    "</array>",
                    "%MW2147483645") +
                    Var("Flags",
                        "<array><dimension lower=\"0\" upper=\"1\"/><baseType><BOOL/>"
                        "</baseType></array>",
                        "%M2147483646")));
    const auto program = OpenFile(path);
    ASSERT_TRUE(program);
    const std::pair<const char*, const char*> cases[] = {
        {"Words", "Words[1]|U-INT (B:1 - O:4294967292) %MW2147483646"},
        {"Flags", "Flags[1]|U-BOOL (B:2 - O:2147483647) %M2147483647"},
    };
    for (const auto& [variable, line] : cases) {
        SCOPED_TRACE(variable);
        BrowseOptions browse;
        browse.path = variable;
        std::vector<std::string> lines;
        EXPECT_FALSE(program->BrowseColumns(browse, "A", lines).Failed());
        const std::string expected = line; // clang 14 cannot capture a structured binding
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& text) {
            return text.find(expected) != std::string::npos;
        })) << testing::PrintToString(lines);
    }
}

TEST_F(ExampleDictionary, RefusalsCarryAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"Nope", "unknown variable"},        {"Nope.X", "unknown variable"},
        {"Motor1.Torque", "no such member"}, {"Speeds[10]", "index out of bounds"},
        {"Counter.3", "bit number"},         {"Status.X", "has no members"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        const ResolvedItem item = m_Program->Resolve(name);
        ASSERT_FALSE(item.Resolved());
        EXPECT_NE(item.reason.find(reason), std::string::npos) << item.reason;
    }
}

// Every refusal has its fault code: the library's refusals as the dictionary explains them, and
// a name that is not UTF-8, which never reaches the dictionary. A function-block instance at the
// top level is refused whole; the example has none, so a small program gives one.
TEST_F(ExampleDictionary, RefusalsHaveTheirFaultCodes) {
    const std::string pump = "<pou name=\"Pump\" pouType=\"functionBlock\"><interface><inputVars>" +
                             Var("Run", "<BOOL/>") + "</inputVars></interface></pou>\n";
    const auto blocks = OpenFile(
        WriteTempFile("blocks.xml", Project("", pump, Var("P1", "<derived name=\"Pump\"/>"))));
    ASSERT_TRUE(blocks);
    struct Case {
        const Program* program;
        const char* name;
        NameFault fault;
    };
    const Case cases[] = {
        {m_Program.get(), "Nope", NameFault::UnknownVariable},
        {m_Program.get(), "Nope.X", NameFault::UnknownVariable},
        {m_Program.get(), "Motor1.Nope", NameFault::NoSuchMember},
        {m_Program.get(), "Speeds[10]", NameFault::NoSuchMember},
        {m_Program.get(), "Speeds[1].x", NameFault::NoSuchMember},
        {m_Program.get(), "Motor1.A.B.C.D.E.F.G.H.I.J.K.L.M.N.O.P", NameFault::MalformedName},
        {m_Program.get(), "Counter.X", NameFault::NoMembers},
        {m_Program.get(), "Status.X", NameFault::NoMembers},
        {m_Program.get(), "Motor1.Speed.44", NameFault::BitNotAllowed},
        {m_Program.get(), "Counter.3", NameFault::BitNotAllowed},
        {m_Program.get(), "Motor1.\xff", NameFault::InvalidUtf8},
        {m_Program.get(), "Status.3", NameFault::None},
        {blocks.get(), "P1", NameFault::WholeFunctionBlock},
        {blocks.get(), "P1.Run", NameFault::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResolvedItem item = c.program->Resolve(c.name);
        EXPECT_EQ(item.fault, c.fault) << item.reason;
        EXPECT_EQ(item.reason, FaultText(c.fault));
    }
    // The name is given back as valid UTF-8.
    EXPECT_EQ(m_Program->Resolve("Motor1.\xff").name, "Motor1.\xEF\xBF\xBD");
}

// The root and the filler's children are listed in the README, whose runs are checked.
TEST_F(ExampleDictionary, BrowsesBelowVariables) {
    EXPECT_EQ(ChildNames("Motor1"),
              (std::vector<std::string>{"Running", "Speed", "Current", "State", "Label"}));
    EXPECT_EQ(ChildNames("Line.Conveyors[1]"),
              (std::vector<std::string>{"Belt", "Length", "Load"}));
    EXPECT_EQ(ChildNames("Line.Recipes[4]"),
              (std::vector<std::string>{"Recipes[4][1]", "Recipes[4][2]", "Recipes[4][3]"}));
}

// Paging walks the same children as one listing, a page at a time.
TEST_F(ExampleDictionary, PagingFollowsTheContinuationPoint) {
    BrowseOptions browse;
    browse.path = "Speeds";
    browse.pageSize = 4;
    const std::vector<BrowsedPage> pages = m_Program->BrowseAll(browse);
    ASSERT_EQ(pages.size(), 3U);
    EXPECT_FALSE(pages.back().Failed());
    EXPECT_EQ(pages[0].continuation, "Speeds[4]");
    EXPECT_EQ(pages[1].continuation, "Speeds[8]");
    EXPECT_EQ(pages[2].continuation, "");
    EXPECT_EQ(pages[2].children.size(), 2U);
    EXPECT_EQ(ChildNames("", 3).size(), ChildNames("").size());
}

// A changed comment is a partial match; a changed structure is a mismatch.
TEST(StampComparison, ComparesTwoBuilds) {
    const std::string example = ReadFile(kExample);
    const auto variant = [&](const std::string& from, const std::string& to,
                             const std::string& name) {
        std::string text = example;
        text.replace(text.find(from), from.size(), to);
        return WriteTempFile(name, text);
    };
    const auto built = OpenFile(kExample);
    const auto same = OpenFile(WriteTempFile("same.xml", example));
    const auto commented = OpenFile(variant("main drive", "main conveyor drive", "comment.xml"));
    const auto valued = OpenFile(variant("Bottling line 1", "Bottling line 2", "value.xml"));
    const auto retyped =
        OpenFile(variant("<type><REAL/></type>", "<type><LREAL/></type>", "r.xml"));
    const auto moved = OpenFile(variant("%MW10", "%MW11", "moved.xml"));
    ASSERT_TRUE(built && same && commented && valued && retyped && moved);
    EXPECT_EQ(built->CompareStamp(same->StampRecord()), StampMatch::Ok);
    EXPECT_EQ(built->CompareStamp(commented->StampRecord()), StampMatch::Partial);
    EXPECT_EQ(built->CompareStamp(valued->StampRecord()), StampMatch::Partial);
    EXPECT_EQ(built->CompareStamp(retyped->StampRecord()), StampMatch::Mismatch);
    EXPECT_EQ(built->CompareStamp(moved->StampRecord()), StampMatch::Mismatch);
}

} // namespace

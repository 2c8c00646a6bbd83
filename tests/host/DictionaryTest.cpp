#include "HostTestSupport.h"
#include "commands/BrowseCommand.h"
#include "commands/HostSession.h"
#include "commands/ResolveCommand.h"
#include "commands/StampCommand.h"

#include <gtest/gtest.h>

namespace {

using namespace hosttest;

std::unique_ptr<HostSession> OpenFile(const std::string& path) {
    Diagnostics diagnostics(path);
    auto session = HostSession::Open(path, {}, diagnostics);
    EXPECT_TRUE(session) << (diagnostics.Entries().empty() ? std::string()
                                                           : diagnostics.Entries()[0].message);
    return session;
}

class ExampleDictionary : public ::testing::Test {
protected:
    void SetUp() override {
        m_Session = OpenFile(kExample);
        ASSERT_TRUE(m_Session);
    }

    std::vector<std::string> ChildNames(const std::string& path, std::uint32_t pageSize = 0) {
        BrowseCommand::Options options;
        options.path = path;
        options.pageSize = pageSize;
        std::vector<BrowseCommand::Page> pages;
        EXPECT_EQ(BrowseCommand(*m_Session).BrowsePages(options, pages), S_OK);
        std::vector<std::string> names;
        for (const auto& page : pages) {
            for (const auto& child : page.children) {
                names.push_back(child.name);
            }
        }
        return names;
    }

    std::unique_ptr<HostSession> m_Session;
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
    ResolveCommand resolve(*m_Session);
    for (const ResolveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const nlohmann::json result = resolve.Resolve(c.name);
        ASSERT_TRUE(result["resolved"].get<bool>()) << result.dump();
        EXPECT_EQ(result["address"], c.address);
        EXPECT_EQ(result["block"], c.block);
        EXPECT_EQ(result["offset"], c.offset);
        EXPECT_EQ(result["size"], c.size);
        EXPECT_EQ(result["bit"], c.bit < 0 ? nlohmann::json() : nlohmann::json(c.bit));
        EXPECT_EQ(result["typeName"], c.typeName);
        EXPECT_EQ(result["comment"], c.comment);
        EXPECT_EQ(result["areaKind"], c.areaKind);
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
    const auto session = OpenFile(path);
    ASSERT_TRUE(session);
    const std::pair<const char*, const char*> cases[] = {
        {"Words", "Words[1]|U-INT (B:1 - O:4294967292) %MW2147483646"},
        {"Flags", "Flags[1]|U-BOOL (B:2 - O:2147483647) %M2147483647"},
    };
    for (const auto& [variable, line] : cases) {
        SCOPED_TRACE(variable);
        BrowseCommand::Options options;
        options.path = variable;
        options.columns = "A";
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(BrowseCommand(*session).Run(options, false, out, err), 0) << err.str();
        EXPECT_NE(out.str().find(line), std::string::npos) << out.str();
    }
}

TEST_F(ExampleDictionary, RefusalsCarryAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"Nope", "unknown variable"},        {"Nope.X", "unknown variable"},
        {"Motor1.Torque", "no such member"}, {"Speeds[10]", "index out of bounds"},
        {"Counter.3", "bit number"},         {"Status.X", "has no members"},
    };
    ResolveCommand resolve(*m_Session);
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        const nlohmann::json result = resolve.Resolve(name);
        ASSERT_FALSE(result["resolved"].get<bool>());
        EXPECT_NE(result["reason"].get<std::string>().find(reason), std::string::npos)
            << result["reason"];
    }
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
    BrowseCommand::Options options;
    options.path = "Speeds";
    options.pageSize = 4;
    std::vector<BrowseCommand::Page> pages;
    ASSERT_EQ(BrowseCommand(*m_Session).BrowsePages(options, pages), S_OK);
    ASSERT_EQ(pages.size(), 3U);
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
    EXPECT_EQ(StampCommand(*built, *same).Compare(), CSymb::CONSISTENCE_OK);
    EXPECT_EQ(StampCommand(*built, *commented).Compare(), CSymb::CONSISTENCE_PARTIAL);
    EXPECT_EQ(StampCommand(*built, *valued).Compare(), CSymb::CONSISTENCE_PARTIAL);
    EXPECT_EQ(StampCommand(*built, *retyped).Compare(), CSymb::CONSISTENCE_MISMATCH);
    EXPECT_EQ(StampCommand(*built, *moved).Compare(), CSymb::CONSISTENCE_MISMATCH);
}

} // namespace

#include "DictionaryGenerator.h"
#include "FixtureDictionary.h"

#include <gtest/gtest.h>

#include <new>

namespace {

struct NamesCase {
    const char* what;
    const char* path;
    const char* pattern;
    VARTYPE varType;
    const char* filter;
    std::int32_t branchesOnly;
    std::int32_t leaves;
    std::int32_t branches;
    std::int32_t columnCount;
    const char* columns;
    HRESULT hr;
    std::vector<std::string> expected; // in listing order
};

using V = std::vector<std::string>;
constexpr HRESULT kBad = E_INVALIDARG;

TEST(BrowseNames, ListsChildren) {
    FixtureDictionary fixture;
    const NamesCase cases[] = {
        {"root all", "", "*", 0, "", 0, 1, 1, 0, "", 0,
         V{"M1", "motor2", "TAB", "TABS", "GRID", "W", "Flag"}},
        {"root branches only keeps blocks", "", "*", 0, "", 1, 0, 0, 0, "", 0,
         V{"M1", "motor2", "TAB", "TABS", "GRID", "FB1"}},
        {"root leaves", "", "*", 0, "", 0, 1, 0, 0, "", 0, V{"W", "Flag"}},
        {"root branches", "", "*", 0, "", 0, 0, 1, 0, "", 0,
         V{"M1", "motor2", "TAB", "TABS", "GRID"}},
        {"root no kind", "", "*", 0, "", 0, 0, 0, 0, "", 0, V{}},
        {"root unlocated", "", "*", 0, "x%ULx", 0, 1, 1, 0, "", 0,
         V{"M1", "motor2", "TAB", "TABS", "GRID", "Flag"}},
        {"root prefix keeps case", "", "M", 0, "", 0, 1, 1, 0, "", 0, V{"M1"}},
        {"root prefix star", "", "mot*", 0, "", 0, 1, 1, 0, "", 0, V{"motor2"}},
        {"root leading star", "", "*X", 0, "", 0, 1, 0, 0, "", 0, V{"W", "Flag"}},
        {"root empty pattern", "", "", 0, "", 0, 1, 0, 0, "", 0, V{"W", "Flag"}},
        {"root variant type", "", "*", 2, "", 0, 1, 1, 0, "", 0, V{"W"}},
        {"root columns", "", "*", 0, "", 0, 1, 0, 2, "AC", 0,
         V{"W|%MW10|a word", "Flag|%MW10.11|"}},
        {"root columns reversed", "", "W", 0, "", 0, 1, 0, 2, "CA", 0, V{"W|a word|%MW10"}},
        {"root other column", "", "W", 0, "", 0, 1, 0, 1, "Z", 0, V{"W|"}},
        {"root unit text", "", "M1", 0, "", 1, 0, 0, 2, "AC", 0,
         V{"M1|U-MOTOR (B:3 - O:100) |first motor"}},
        {"structure", "M1", "*", 0, "", 0, 1, 1, 0, "", 0,
         V{"Speed", "STATE", "AX", "TAB", "VALS", "GRID"}},
        {"structure leaves with columns", "m1", "*", 0, "", 0, 1, 0, 2, "AC", 0,
         V{"Speed|U-INT (B:3 - O:100) |motor speed", "STATE|U-BOOL (B:3 - O:102) |"}},
        {"structure branches only", "M1", "*", 0, "", 1, 0, 0, 0, "", 0,
         V{"AX", "TAB", "VALS", "GRID"}},
        {"nested structure", "M1.TAB[1]", "*", 0, "", 0, 1, 1, 1, "A", 0,
         V{"POS|U-REAL (B:3 - O:120) ", "Vel|U-INT (B:3 - O:124) ", "FLAGS|U-WORD (B:3 - O:126) "}},
        {"array of structures element", "TABS[2]", "P", 0, "", 0, 1, 1, 1, "A", 0,
         V{"POS|U-REAL (B:3 - O:316) "}},
        {"array elements", "TAB", "*", 0, "", 0, 1, 0, 1, "A", 0,
         V{"TAB[0]|U-INT (B:1 - O:200) %MW100", "TAB[1]|U-INT (B:1 - O:202) %MW101",
           "TAB[2]|U-INT (B:1 - O:204) %MW102", "TAB[3]|U-INT (B:1 - O:206) %MW103",
           "TAB[4]|U-INT (B:1 - O:208) %MW104", "TAB[5]|U-INT (B:1 - O:210) %MW105",
           "TAB[6]|U-INT (B:1 - O:212) %MW106", "TAB[7]|U-INT (B:1 - O:214) %MW107",
           "TAB[8]|U-INT (B:1 - O:216) %MW108", "TAB[9]|U-INT (B:1 - O:218) %MW109"}},
        {"array elements lower case", "tab", "tab[1", 0, "", 0, 1, 0, 0, "", 0, V{"tab[1]"}},
        {"row of a two-dimensional array", "GRID[1]", "*", 0, "", 0, 1, 0, 1, "A", 0,
         V{"GRID[1][0]|U-INT (B:1 - O:308) %MW154", "GRID[1][1]|U-INT (B:1 - O:310) %MW155",
           "GRID[1][2]|U-INT (B:1 - O:312) %MW156", "GRID[1][3]|U-INT (B:1 - O:314) %MW157"}},
        {"function block", "FB1", "*", 0, "", 0, 0, 0, 0, "", 0,
         V{"INNER", "EN", "OUT", "TMP", "LOC"}},
        {"elementary member", "M1.SPEED", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"unknown variable", "NOPE", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"elementary variable", "W", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"index on a structure", "M1[2]", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"bad index", "TAB[X]", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"index out of range", "TABS[10]", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"null filter", "", "*", 0, nullptr, 0, 1, 1, 0, "", kBad, V{}},
        {"null pattern", "", nullptr, 0, "", 0, 1, 1, 0, "", kBad, V{}},
        {"null columns", "", "*", 0, "", 0, 1, 1, 1, nullptr, kBad, V{}},
        {"null path", nullptr, "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
    };
    for (const NamesCase& c : cases) {
        std::vector<std::string> output = {"kept"};
        EXPECT_EQ(fixture->BrowseNames(c.filter, c.pattern, c.varType, c.path, 0, 0, c.branchesOnly,
                                       c.leaves, c.branches, c.columnCount, c.columns, &output,
                                       nullptr),
                  c.hr)
            << c.what;
        EXPECT_EQ(output.front(), "kept") << c.what; // appended to, never cleared
        EXPECT_EQ(V(output.begin() + 1, output.end()), c.expected) << c.what;
    }
}

TEST(BrowseNames, UnlocatedFilterSkipsALocatedPositionAndNullOutputIsRefused) {
    FixtureDictionary fixture;
    fixture->m_Items["M1"]->m_Address = "%MW100";
    std::vector<std::string> output;
    EXPECT_EQ(fixture->BrowseNames("%UL", "*", 0, "M1", 0, 0, 0, 1, 1, 0, "", &output, nullptr),
              S_OK);
    EXPECT_TRUE(output.empty());
    EXPECT_EQ(fixture->BrowseNames("", "*", 0, "M1", 0, 0, 0, 1, 1, 0, "", &output, nullptr), S_OK);
    EXPECT_EQ(output.size(), 6U);
    EXPECT_EQ(fixture->BrowseNames("", "*", 0, "", 0, 0, 0, 1, 1, 0, "", nullptr, nullptr),
              E_INVALIDARG);
}

// A structure whose listing runs out of memory after its first entry.
class ExhaustedStruct : public CSymbXMLDDTStructDef {
public:
    std::int32_t BuildCollectionFrom(const std::string&, const std::string&, VARTYPE,
                                     const std::string&, std::uint32_t, std::uint32_t, std::int32_t,
                                     std::int32_t, std::int32_t, std::uint16_t, std::uint32_t,
                                     std::uint32_t, std::int32_t, const std::string&,
                                     std::vector<std::string>& output, std::vector<std::string>*,
                                     CVarbank*, std::vector<std::uint16_t>&) override {
        output.push_back("partial");
        throw std::bad_alloc();
    }
};

TEST(BrowseNames, AllocationFailureLeavesTheListsAsHandedIn) {
    CAppParameters params = generated::Parameters();
    CVarbank dico("D", "/tmp", &params);
    generated::AddType<ExhaustedStruct>(dico, "EXHAUSTED", {generated::Member("A", "INT", 0, 2)});
    generated::Variable(dico, "X", "EXHAUSTED", 3, 0, 2);
    dico.FinalyzeListOfType();
    std::vector<std::string> output = {"kept"};
    std::vector<std::string> second = {"second"};
    EXPECT_EQ(dico.BrowseNames("", "*", 0, "X", 0, 0, 0, 1, 1, 0, "", &output, &second),
              static_cast<HRESULT>(0x8007000EU));
    EXPECT_EQ(output, V{"kept"});
    EXPECT_EQ(second, V{"second"});
}

} // namespace

#include "FixtureDictionary.h"

#include <gtest/gtest.h>

#include <algorithm>

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
    std::vector<std::string> expected; // sorted
};

void PrintTo(const NamesCase& c, std::ostream* os) {
    *os << c.what;
}

class BrowseNamesTable : public ::testing::TestWithParam<NamesCase> {
protected:
    static FixtureDictionary& Fixture() {
        static FixtureDictionary fixture;
        return fixture;
    }
};

TEST_P(BrowseNamesTable, ListsChildren) {
    const NamesCase& c = GetParam();
    std::vector<std::string> output = {"kept"};
    EXPECT_EQ(Fixture()->BrowseNames(c.filter, c.pattern, c.varType, c.path, 0, 0, c.branchesOnly,
                                     c.leaves, c.branches, c.columnCount, c.columns, &output,
                                     nullptr),
              c.hr);
    ASSERT_FALSE(output.empty());
    EXPECT_EQ(output.front(), "kept"); // appended to, never cleared
    output.erase(output.begin());
    std::sort(output.begin(), output.end());
    EXPECT_EQ(output, c.expected);
}

using V = std::vector<std::string>;
constexpr HRESULT kBad = E_INVALIDARG;

INSTANTIATE_TEST_SUITE_P(
    Fixture, BrowseNamesTable,
    ::testing::Values(
        NamesCase{"root all", "", "*", 0, "", 0, 1, 1, 0, "", 0,
                  V{"Flag", "GRID", "M1", "TAB", "TABS", "W", "motor2"}},
        NamesCase{"root branches only keeps blocks", "", "*", 0, "", 1, 0, 0, 0, "", 0,
                  V{"FB1", "GRID", "M1", "TAB", "TABS", "motor2"}},
        NamesCase{"root leaves", "", "*", 0, "", 0, 1, 0, 0, "", 0, V{"Flag", "W"}},
        NamesCase{"root branches", "", "*", 0, "", 0, 0, 1, 0, "", 0,
                  V{"GRID", "M1", "TAB", "TABS", "motor2"}},
        NamesCase{"root no kind", "", "*", 0, "", 0, 0, 0, 0, "", 0, V{}},
        NamesCase{"root unlocated", "", "*", 0, "x%ULx", 0, 1, 1, 0, "", 0,
                  V{"Flag", "GRID", "M1", "TAB", "TABS", "motor2"}},
        NamesCase{"root prefix keeps case", "", "M", 0, "", 0, 1, 1, 0, "", 0, V{"M1"}},
        NamesCase{"root prefix star", "", "mot*", 0, "", 0, 1, 1, 0, "", 0, V{"motor2"}},
        NamesCase{"root leading star", "", "*X", 0, "", 0, 1, 0, 0, "", 0, V{"Flag", "W"}},
        NamesCase{"root empty pattern", "", "", 0, "", 0, 1, 0, 0, "", 0, V{"Flag", "W"}},
        NamesCase{"root variant type", "", "*", 2, "", 0, 1, 1, 0, "", 0, V{"W"}},
        NamesCase{"root columns", "", "*", 0, "", 0, 1, 0, 2, "AC", 0,
                  V{"Flag|%MW10.11|", "W|%MW10|a word"}},
        NamesCase{"root columns reversed", "", "W", 0, "", 0, 1, 0, 2, "CA", 0,
                  V{"W|a word|%MW10"}},
        NamesCase{"root other column", "", "W", 0, "", 0, 1, 0, 1, "Z", 0, V{"W|"}},
        NamesCase{"root unit text", "", "M1", 0, "", 1, 0, 0, 2, "AC", 0,
                  V{"M1|U-MOTOR (B:3 - O:100) |first motor"}},
        NamesCase{"structure", "M1", "*", 0, "", 0, 1, 1, 0, "", 0,
                  V{"AX", "GRID", "STATE", "Speed", "TAB", "VALS"}},
        NamesCase{"structure leaves with columns", "m1", "*", 0, "", 0, 1, 0, 2, "AC", 0,
                  V{"STATE|U-BOOL (B:3 - O:102) |", "Speed|U-INT (B:3 - O:100) |motor speed"}},
        NamesCase{"structure branches only", "M1", "*", 0, "", 1, 0, 0, 0, "", 0,
                  V{"AX", "GRID", "TAB", "VALS"}},
        NamesCase{"nested structure", "M1.TAB[1]", "*", 0, "", 0, 1, 1, 1, "A", 0,
                  V{"FLAGS|U-WORD (B:3 - O:126) ", "POS|U-REAL (B:3 - O:120) ",
                    "Vel|U-INT (B:3 - O:124) "}},
        NamesCase{"array of structures element", "TABS[2]", "P", 0, "", 0, 1, 1, 1, "A", 0,
                  V{"POS|U-REAL (B:3 - O:316) "}},
        NamesCase{"array elements", "TAB", "*", 0, "", 0, 1, 0, 1, "A", 0,
                  V{"TAB[0]|U-INT (B:1 - O:200) %MW100", "TAB[1]|U-INT (B:1 - O:202) %MW101",
                    "TAB[2]|U-INT (B:1 - O:204) %MW102", "TAB[3]|U-INT (B:1 - O:206) %MW103",
                    "TAB[4]|U-INT (B:1 - O:208) %MW104", "TAB[5]|U-INT (B:1 - O:210) %MW105",
                    "TAB[6]|U-INT (B:1 - O:212) %MW106", "TAB[7]|U-INT (B:1 - O:214) %MW107",
                    "TAB[8]|U-INT (B:1 - O:216) %MW108", "TAB[9]|U-INT (B:1 - O:218) %MW109"}},
        NamesCase{"array elements lower case", "tab", "tab[1", 0, "", 0, 1, 0, 0, "", 0,
                  V{"tab[1]"}},
        NamesCase{
            "row of a two-dimensional array", "GRID[1]", "*", 0, "", 0, 1, 0, 1, "A", 0,
            V{"GRID[1][0]|U-INT (B:1 - O:308) %MW154", "GRID[1][1]|U-INT (B:1 - O:310) %MW155",
              "GRID[1][2]|U-INT (B:1 - O:312) %MW156", "GRID[1][3]|U-INT (B:1 - O:314) %MW157"}},
        NamesCase{"function block", "FB1", "*", 0, "", 0, 0, 0, 0, "", 0,
                  V{"EN", "INNER", "LOC", "OUT", "TMP"}},
        NamesCase{"elementary member", "M1.SPEED", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"unknown variable", "NOPE", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"elementary variable", "W", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"index on a structure", "M1[2]", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"bad index", "TAB[X]", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"index out of range", "TABS[10]", "*", 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"null filter", "", "*", 0, nullptr, 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"null pattern", "", nullptr, 0, "", 0, 1, 1, 0, "", kBad, V{}},
        NamesCase{"null columns", "", "*", 0, "", 0, 1, 1, 1, nullptr, kBad, V{}},
        NamesCase{"null path", nullptr, "*", 0, "", 0, 1, 1, 0, "", kBad, V{}}));

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

TEST(BrowseNames, HostilePathsAndPatternsNeverCrash) {
    FixtureDictionary fixture;
    const std::string texts[] = {std::string(100000, '['),       std::string(100000, '.'),
                                 "M1." + std::string(5000, 'A'), "\xff\xfe",
                                 "M1.TAB[2147483647]",           "M1.TAB[-2147483648]",
                                 "GRID[99999999999999]",         "M1.\x01"};
    for (const std::string& text : texts) {
        std::vector<std::string> output;
        const HRESULT hr = fixture->BrowseNames(text.c_str(), text.c_str(), 0, text.c_str(), 0, 0,
                                                0, 1, 1, 2, "AC", &output, nullptr);
        EXPECT_TRUE(hr == S_OK || hr == E_INVALIDARG);
    }
}

} // namespace

#include "FixtureDictionary.h"
#include "ImplemRecord.h"
#include "PropertyEntry.h"
#include "TextConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr std::uint32_t kBool = 0x02290148;
constexpr std::uint32_t kInt = 0x0A590148;
constexpr std::uint32_t kDint = 0x06590148;
constexpr std::uint32_t kIntArray = 0x0A591088;

struct PathCase {
    const char* name;
    HRESULT hr;
    std::uint32_t offset;
    std::uint32_t size;
    std::uint32_t typeCode;
    std::uint32_t accessKind;
    std::uint8_t bit;
    std::uint32_t areaKind;
    std::uint32_t subOffset;
    std::uint16_t subSize;
    const char* typeName;
    const char* comment;
    const char* address;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

class MemberPaths : public ::testing::TestWithParam<PathCase> {
protected:
    static FixtureDictionary& Fixture() {
        static FixtureDictionary fixture;
        return fixture;
    }
};

TEST_P(MemberPaths, ResolveThroughDerivedTypes) {
    const PathCase& c = GetParam();
    CVarbank& dico = *Fixture();
    const std::size_t items = dico.m_Items.size();
    std::string address = "untouched";
    std::string comment = "untouched";
    ImplemRecord* raw = nullptr;
    PropertyEntry* properties = nullptr;
    std::uint32_t count = 0;
    const char* names[] = {c.name};
    ASSERT_EQ(dico.SearchAndGetFF(1, names, address, comment, &raw, &count, &properties), c.hr);
    EXPECT_EQ(dico.m_Items.size(), items);
    std::unique_ptr<ImplemRecord, decltype(&std::free)> record(raw, &std::free);
    std::unique_ptr<PropertyEntry[]> list(properties);
    if (c.hr != S_OK) {
        EXPECT_EQ(raw, nullptr);
        EXPECT_EQ(count, 0U);
        EXPECT_EQ(address, "untouched");
        return;
    }
    const tagRATVARPHYSICALIMPLEM& r = record->Record;
    EXPECT_EQ(r.dwOffset, c.offset);
    EXPECT_EQ(r.dwSize, c.size);
    EXPECT_EQ(r.dwTypeCode, c.typeCode);
    EXPECT_EQ(r.dwAccessKind, c.accessKind);
    EXPECT_EQ(r.byBit, c.bit);
    EXPECT_EQ(r.dwAreaKind, c.areaKind);
    EXPECT_EQ(r.dwSubOffset, c.subOffset);
    EXPECT_EQ(r.wSubSize, c.subSize);
    EXPECT_EQ(r.dwReserved1, 1U);
    EXPECT_EQ(record->dwAttribute, c.areaKind >= 2 ? 1U : 0U);
    EXPECT_EQ(comment, c.comment);
    EXPECT_EQ(address, c.address);
    ASSERT_EQ(count, 6U); // never the address property on a path
    EXPECT_EQ(list[3].dwPropertyId, 5007U);
    EXPECT_EQ(Utf16ToUtf8(list[3].vValue.bstrVal), c.typeName);
}

INSTANTIATE_TEST_SUITE_P(
    Fixture, MemberPaths,
    ::testing::Values(
        // Structures, nested structures, case.
        PathCase{"M1.SPEED", 0, 100, 2, kInt, 1, 255, 1, 0, 0, "INT", "motor speed", ""},
        PathCase{"m1.speed", 0, 100, 2, kInt, 1, 255, 1, 0, 0, "INT", "motor speed", ""},
        PathCase{"motor2.Speed", 0, 500, 2, kInt, 1, 255, 1, 0, 0, "INT", "motor speed", ""},
        PathCase{"M1.AX.VEL", 0, 108, 2, kInt, 1, 255, 1, 0, 0, "INT", "velocity", ""},
        PathCase{"M1.AX", 0, 104, 8, 0x208, 1, 255, 1, 0, 0, "AXIS", "", ""},
        PathCase{"M1.SPEED.3", 0, 100, 2, kBool, 2, 3, 1, 0, 0, "INT", "motor speed", ""},
        PathCase{"M1.STATE.0", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""}, // one byte: no bit
        PathCase{"M1.SPEED.X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"M1.NOPE", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"M1[2]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"M1.AX.VEL.POS", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        // Arrays inside structures, arrays of structures.
        PathCase{"M1.TAB[2].VEL", 0, 132, 2, kInt, 1, 255, 1, 0, 0, "INT", "velocity", ""},
        PathCase{"M1.TAB[2]", 0, 128, 8, 0x208, 1, 255, 1, 0, 0, "AXIS", "AXIS", ""},
        PathCase{"M1.VALS[2]", 0, 146, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        PathCase{"M1.VALS[2].3", 0, 146, 2, kBool, 2, 3, 1, 0, 0, "INT", "", ""},
        PathCase{"M1.VALS[2].X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"M1.VALS[5]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"M1.VALS[0]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        // A row of a two-dimensional member: the size and code of the whole row.
        PathCase{"M1.GRID[1]", 0, 158, 6, kIntArray, 1, 255, 1, 0, 0, "ARRAY[0..2] OF INT", "", ""},
        PathCase{"M1.GRID[1][2]", 0, 162, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        // Array variables.
        PathCase{"TAB[3]", 0, 206, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        PathCase{"tab[9]", 0, 218, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        PathCase{"TAB[3].5", 0, 206, 2, kBool, 2, 5, 1, 0, 0, "INT", "", ""},
        PathCase{"TAB[3].16", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"TAB[10]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"TAB[-1]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"TAB[3].X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"TAB.X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"TABS.X", 0, 300, 8, 0x208, 1, 255, 1, 0, 0, "AXIS", "AXIS", ""},
        PathCase{"TABS[9].FLAGS", 0, 378, 2, 0x00A90148, 1, 255, 1, 0, 0, "WORD", "", ""},
        PathCase{"GRID[1][2]", 0, 312, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        PathCase{"GRID[2][3]", 0, 322, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        PathCase{"GRID[1,2]", 0, 308, 8, kIntArray, 1, 255, 1, 0, 0, "ARRAY[0..3] OF INT", "",
                 "%MW154"},
        PathCase{"GRID[3][0]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"GRID[1][4]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        // Function blocks: ordinary and secondary areas, nested blocks.
        PathCase{"FB1.OUT", 0, 410, 2, kInt, 1, 255, 1, 0, 0, "INT", "output", ""},
        PathCase{"fb1.out.3", 0, 410, 2, kBool, 2, 3, 1, 0, 0, "INT", "output", ""},
        PathCase{"FB1.TMP", 0, 400, 2, kInt, 1, 255, 2, 0, 2, "INT", "", ""},
        PathCase{"FB1.INNER.Q", 0, 402, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        PathCase{"FB1.INNER.CNT", 0, 400, 4, kDint, 1, 255, 2, 0, 4, "DINT", "", ""},
        PathCase{"FB1.LOC.VEL", 0, 402, 2, kInt, 1, 255, 2, 4, 2, "INT", "velocity", ""},
        PathCase{"FB1.NESTED.Q", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"FB1.INNER.INNER_CHILD.X", 0, 400, 1, kBool, 1, 255, 1, 0, 0, "BOOL", "", ""},
        // Unknown first elements and elementary variables.
        PathCase{"NOPE.X", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        PathCase{"W.X", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""}));

} // namespace

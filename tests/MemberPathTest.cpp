#include "FixtureDictionary.h"
#include "VarbankClient.h"

#include <gtest/gtest.h>

#include <tuple>

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

// Every case resolves against the fixture; a refusal hands out nothing.
TEST(MemberPaths, ResolveThroughDerivedTypes) {
    FixtureDictionary fixture;
    const std::size_t items = fixture->m_Items.size();
    const PathCase cases[] = {
        // Structures, nested structures, case.
        {"M1.SPEED", 0, 100, 2, kInt, 1, 255, 1, 0, 0, "INT", "motor speed", ""},
        {"m1.speed", 0, 100, 2, kInt, 1, 255, 1, 0, 0, "INT", "motor speed", ""},
        {"motor2.Speed", 0, 500, 2, kInt, 1, 255, 1, 0, 0, "INT", "motor speed", ""},
        {"M1.AX.VEL", 0, 108, 2, kInt, 1, 255, 1, 0, 0, "INT", "velocity", ""},
        {"M1.AX", 0, 104, 8, 0x208, 1, 255, 1, 0, 0, "AXIS", "", ""},
        {"M1.SPEED.3", 0, 100, 2, kBool, 2, 3, 1, 0, 0, "INT", "motor speed", ""},
        {"M1.STATE.0", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""}, // one byte: no bit
        {"M1.SPEED.X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"M1.NOPE", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"M1[2]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"M1.AX.VEL.POS", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        // Arrays inside structures, arrays of structures.
        {"M1.TAB[2].VEL", 0, 132, 2, kInt, 1, 255, 1, 0, 0, "INT", "velocity", ""},
        {"M1.TAB[2]", 0, 128, 8, 0x208, 1, 255, 1, 0, 0, "AXIS", "AXIS", ""},
        {"M1.VALS[2]", 0, 146, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        {"M1.VALS[2].3", 0, 146, 2, kBool, 2, 3, 1, 0, 0, "INT", "", ""},
        {"M1.VALS[2].X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"M1.VALS[5]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"M1.VALS[0]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        // A row of a two-dimensional member: the size and code of the whole row.
        {"M1.GRID[1]", 0, 158, 6, kIntArray, 1, 255, 1, 0, 0, "ARRAY[0..2] OF INT", "", ""},
        {"M1.GRID[1][2]", 0, 162, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        // Array variables.
        {"TAB[3]", 0, 206, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        {"tab[9]", 0, 218, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        {"TAB[3].5", 0, 206, 2, kBool, 2, 5, 1, 0, 0, "INT", "", ""},
        {"TAB[3].16", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"TAB[10]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"TAB[-1]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"TAB[3].X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"TAB.X", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"TABS.X", 0, 300, 8, 0x208, 1, 255, 1, 0, 0, "AXIS", "AXIS", ""},
        {"TABS[9].FLAGS", 0, 378, 2, 0x00A90148, 1, 255, 1, 0, 0, "WORD", "", ""},
        {"GRID[1][2]", 0, 312, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        {"GRID[2][3]", 0, 322, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        {"GRID[1,2]", 0, 308, 8, kIntArray, 1, 255, 1, 0, 0, "ARRAY[0..3] OF INT", "", "%MW154"},
        {"GRID[3][0]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"GRID[1][4]", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        // Function blocks: ordinary and secondary areas, nested blocks.
        {"FB1.OUT", 0, 410, 2, kInt, 1, 255, 1, 0, 0, "INT", "output", ""},
        {"fb1.out.3", 0, 410, 2, kBool, 2, 3, 1, 0, 0, "INT", "output", ""},
        {"FB1.TMP", 0, 400, 2, kInt, 1, 255, 2, 0, 2, "INT", "", ""},
        {"FB1.INNER.Q", 0, 402, 2, kInt, 1, 255, 1, 0, 0, "INT", "", ""},
        {"FB1.INNER.CNT", 0, 400, 4, kDint, 1, 255, 2, 0, 4, "DINT", "", ""},
        {"FB1.LOC.VEL", 0, 402, 2, kInt, 1, 255, 2, 4, 2, "INT", "velocity", ""},
        {"FB1.NESTED.Q", E_INVALIDARG, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"FB1.INNER.INNER_CHILD.X", 0, 400, 1, kBool, 1, 255, 1, 0, 0, "BOOL", "", ""},
        // Unknown first elements and elementary variables.
        {"NOPE.X", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
        {"W.X", -1, 0, 0, 0, 0, 0, 0, 0, 0, "", "", ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.name);
        const varbank::Resolution resolution(*fixture, c.name);
        ASSERT_EQ(resolution.Status(), c.hr);
        if (c.hr != S_OK) {
            EXPECT_EQ(resolution.Record(), nullptr);
            EXPECT_EQ(resolution.PropertyCount(), 0U);
            continue;
        }
        const tagRATVARPHYSICALIMPLEM& r = resolution.Record()->Record;
        EXPECT_EQ(std::make_tuple(r.dwOffset, r.dwSize, r.dwTypeCode, r.dwAccessKind, r.byBit,
                                  r.dwAreaKind, r.dwSubOffset, r.wSubSize, r.dwReserved1),
                  std::make_tuple(c.offset, c.size, c.typeCode, c.accessKind, c.bit, c.areaKind,
                                  c.subOffset, c.subSize, 1U));
        EXPECT_EQ(resolution.Record()->dwAttribute, c.areaKind >= 2 ? 1U : 0U);
        EXPECT_EQ(resolution.Comment(), c.comment);
        EXPECT_EQ(resolution.Address(), c.address);
        EXPECT_EQ(resolution.PropertyCount(), 6U); // never the address property on a path
        EXPECT_EQ(resolution.PropertyText(varbank::kPropertyTypeName), c.typeName);
    }
    EXPECT_EQ(fixture->m_Items.size(), items);
}

} // namespace

#include "import/layout/LocatedAddress.h"

#include <gtest/gtest.h>

namespace {

struct PositionCase {
    const char* text;
    std::uint16_t block;
    std::uint32_t offset;
    std::uint8_t bit;
};

// Every linear form lands where the memory model says: %M in the word or bit area, %I and %Q
// by address in blocks of their own, a bit as a byte offset plus the bit field.
TEST(LocatedAddress, LinearFormsLandInTheirArea) {
    const PositionCase cases[] = {
        {"%MW10", 1, 20, 255}, {"%MD6", 1, 24, 255},   {"%MB7", 1, 7, 255},
        {"%ML3", 1, 24, 255},  {"%M5", 2, 5, 255},     {"%MX5", 2, 5, 255},
        {"%mx30.2", 1, 30, 2}, {"%MX31.7", 1, 31, 7},  {"%MW4.15", 1, 8, 15},
        {"M10", 2, 10, 255},   {"%MW0", 1, 0, 255},    {"%MD1073741823", 1, 4294967292U, 255},
        {"%IX0.1", 4, 0, 1},   {"%QX2.7", 5, 2, 7},    {"%IX75", 4, 9, 3},
        {"%Q12", 5, 1, 4},     {"%I3.6", 4, 3, 6},     {"%IB9", 4, 9, 255},
        {"%QW4", 5, 8, 255},   {"%IW7.15", 4, 14, 15}, {"%ID5", 4, 20, 255},
        {"%QL2", 5, 16, 255},  {"IW1", 4, 2, 255},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto address = LocatedAddress::Parse(c.text, error);
        ASSERT_TRUE(address) << error;
        const auto position = address->LinearPosition(error);
        ASSERT_TRUE(position) << error;
        EXPECT_EQ(position->block, c.block);
        EXPECT_EQ(position->offset, c.offset);
        EXPECT_EQ(position->bit, c.bit);
    }
}

// Texts that are no located address, and offsets beyond 32 bits, say why.
TEST(LocatedAddress, BadAddressesAreRefusedWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"%Z3", "area"},
        {"%MW", "number"},
        {"%MWx", "number"},
        {"%MW1..2", "number"},
        {"%MW4294967296", "32 bits"},
        {"%MW10 ", "unexpected"},
        {"%MD1073741824", "32 bits"},
        {"", "area"},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        const auto address = LocatedAddress::Parse(text, error);
        if (address) {
            EXPECT_FALSE(address->LinearPosition(error));
        }
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
}

struct PathCase {
    const char* text;
    std::uint16_t slotBlock; // 0: not a location path
    const char* note;        // why a bit-like path is not a bit
};

// Two numbers or more that are not a bit of a byte or a word name a location: no linear
// position and no error, a slot block of the address's area. Incomplete addresses are neither.
TEST(LocatedAddress, LocationPathsHaveASlotBlockAndNoLinearPosition) {
    const PathCase cases[] = {
        {"%ID3.1", 6, ""},
        {"%QD3.1", 7, ""},
        {"%MD0.2.0", 8, ""},
        {"%M1.2", 8, ""},
        {"%IB1.2", 6, ""},
        {"%QL0.1", 7, ""},
        {"%MB4.0", 8, ""},
        {"%MW1.2.3", 8, ""},
        {"%IX0.3.1", 6, ""},
        {"%QB0.0.16.25088.1", 7, ""},
        {"%MX1.8", 8, "bit 8 lies beyond a byte (0 to 7)"},
        {"%IX1.8", 6, "bit 8 lies beyond a byte (0 to 7)"},
        {"%I3.9", 6, "bit 9 lies beyond a byte (0 to 7)"},
        {"%QW0.16", 7, "bit 16 lies beyond a word (0 to 15)"},
        {"%MW4.15", 0, ""},
        {"%IX0.7", 0, ""},
        {"%Q3.0", 0, ""},
        {"%I*", 0, ""},
        {"%QW1.*", 0, ""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto address = LocatedAddress::Parse(c.text, error);
        ASSERT_TRUE(address) << error;
        EXPECT_EQ(address->IsLocationPath(), c.slotBlock != 0);
        EXPECT_EQ(address->LocationPathNote(), c.note);
        if (c.slotBlock != 0) {
            EXPECT_EQ(address->SlotBlock(), c.slotBlock);
            EXPECT_FALSE(address->LinearPosition(error));
            EXPECT_EQ(error, "");
        }
    }
}

} // namespace

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

// Addresses that cannot be read, or that name no memory position, say why.
TEST(LocatedAddress, BadAddressesAreRefusedWithAReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"%Z3", "area"},
        {"%MW", "number"},
        {"%MWx", "number"},
        {"%MW1..2", "number"},
        {"%MW4294967296", "32 bits"},
        {"%MW10 ", "unexpected"},
        {"%MW4.16", "0 to 15"},
        {"%MX1.8", "0 to 7"},
        {"%MB1.2", "forms"},
        {"%MW1.2.3", "forms"},
        {"%MD1073741824", "32 bits"},
        {"%IB1.2", "an input address has the forms"},
        {"%QD1.1", "an output address has the forms"},
        {"%IX1.8", "0 to 7"},
        {"%QW0.16", "0 to 15"},
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

// Fieldbus paths (three numbers or more) and incomplete addresses name no byte of an area, and
// that alone is no error: fieldbus paths get slots of their own.
TEST(LocatedAddress, FieldbusPathsAndIncompleteAddressesHaveNoLinearPosition) {
    const std::pair<const char*, bool> cases[] = {
        {"%QB0.0.16.25088.1", true}, {"%IX0.3.1", true}, {"%I*", false}, {"%QW1.*", false}};
    for (const auto& [text, fieldbus] : cases) {
        std::string error;
        const auto address = LocatedAddress::Parse(text, error);
        ASSERT_TRUE(address) << text << ": " << error;
        EXPECT_FALSE(address->LinearPosition(error)) << text;
        EXPECT_EQ(error, "") << text;
        EXPECT_EQ(address->IsFieldbusPath(), fieldbus) << text;
    }
}

} // namespace

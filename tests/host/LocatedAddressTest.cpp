#include "import/layout/LocatedAddress.h"

#include <gtest/gtest.h>

namespace {

struct PositionCase {
    const char* text;
    std::uint16_t block;
    std::uint32_t offset;
    std::uint8_t bit;
};

// Every %M form lands where the memory model says.
TEST(LocatedAddress, MemoryFormsLandInTheirArea) {
    const PositionCase cases[] = {
        {"%MW10", 1, 20, 255}, {"%MD6", 1, 24, 255},  {"%MB7", 1, 7, 255},
        {"%ML3", 1, 24, 255},  {"%M5", 2, 5, 255},    {"%MX5", 2, 5, 255},
        {"%mx30.2", 1, 30, 2}, {"%MX31.7", 1, 31, 7}, {"%MW4.15", 1, 8, 15},
        {"M10", 2, 10, 255},   {"%MW0", 1, 0, 255},   {"%MD1073741823", 1, 4294967292U, 255},
    };
    for (const PositionCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto address = LocatedAddress::Parse(c.text, error);
        ASSERT_TRUE(address) << error;
        const auto position = address->MemoryPosition(error);
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
        {"", "area"},
    };
    for (const auto& [text, reason] : cases) {
        SCOPED_TRACE(text);
        std::string error;
        const auto address = LocatedAddress::Parse(text, error);
        if (address) {
            EXPECT_FALSE(address->MemoryPosition(error));
        }
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
}

// Inputs and outputs, with any number of parts or one not yet assigned, have no fixed position.
TEST(LocatedAddress, InputsAndOutputsHaveNoMemoryPosition) {
    for (const char* text : {"%QB0.0.16.25088.1", "%IX0.3.1", "%I*"}) {
        std::string error;
        const auto address = LocatedAddress::Parse(text, error);
        ASSERT_TRUE(address) << text << ": " << error;
        EXPECT_FALSE(address->MemoryPosition(error)) << text;
    }
}

} // namespace

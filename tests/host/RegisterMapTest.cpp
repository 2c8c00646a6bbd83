// Where located addresses lie in the Modbus tables under each register map: the open-runtime
// convention, the flat numbering, and maps with their own bases; and the places they lack.
#include "values/RegisterMap.h"

#include "import/layout/LocatedAddress.h"

#include <gtest/gtest.h>

namespace {

using Table = RegisterMap::Table;
using Area = RegisterMap::Area;
constexpr std::uint8_t kNoBit = RegisterMap::kNoBit;

// The address's place in the map for a value of `size` bytes (bits: size 1, by their bit).
std::optional<RegisterMap::Place> PlaceOf(const RegisterMap& map, const std::string& text,
                                          std::uint32_t size, std::string& error) {
    const auto address = LocatedAddress::Parse(text, error);
    EXPECT_TRUE(address) << text << ": " << error;
    const auto position = address ? address->LinearPosition(error) : std::nullopt;
    EXPECT_TRUE(position) << text << ": " << error;
    if (!position) {
        return std::nullopt;
    }
    return map.Find(position->block, position->offset, size, position->bit, error);
}

RegisterMap WithBases() {
    RegisterMap map = RegisterMap::Flat();
    map.SetBase(Area::MW, 1024);
    map.SetBase(Area::MD, 3000);
    map.SetBase(Area::ML, 3000);
    map.SetBase(Area::IW, 100);
    map.SetBase(Area::M, 512);
    return map;
}

struct Row {
    const char* map;
    const char* address;
    std::uint32_t size;
    RegisterMap::Place place;
};

TEST(RegisterMap, PlacesAddressesWhereEachMapSays) {
    const std::map<std::string, RegisterMap> maps = {{"open-runtime", RegisterMap::OpenRuntime()},
                                                     {"flat", RegisterMap::Flat()},
                                                     {"bases", WithBases()}};
    const std::vector<Row> rows = {
        {"open-runtime", "%IX1.2", 1, {Table::DiscreteInputs, 10, 1, kNoBit}},
        {"open-runtime", "%QX0.5", 1, {Table::Coils, 5, 1, kNoBit}},
        {"open-runtime", "%IW3", 2, {Table::InputRegisters, 3, 1, kNoBit}},
        {"open-runtime", "%QW2", 2, {Table::HoldingRegisters, 2, 1, kNoBit}},
        {"open-runtime", "%QD1", 4, {Table::HoldingRegisters, 2, 2, kNoBit}},
        {"open-runtime", "%MW10", 2, {Table::HoldingRegisters, 1034, 1, kNoBit}},
        {"open-runtime", "%MD5", 4, {Table::HoldingRegisters, 2058, 2, kNoBit}},
        {"open-runtime", "%ML3", 8, {Table::HoldingRegisters, 4108, 4, kNoBit}},
        {"open-runtime", "%MW12.11", 1, {Table::HoldingRegisters, 1036, 1, 11}},
        {"open-runtime", "%MX24.3", 1, {Table::HoldingRegisters, 1036, 1, 3}},
        {"open-runtime", "%MX25.3", 1, {Table::HoldingRegisters, 1036, 1, 11}},
        {"flat", "%MW10", 2, {Table::HoldingRegisters, 10, 1, kNoBit}},
        {"flat", "%MD5", 4, {Table::HoldingRegisters, 10, 2, kNoBit}},
        {"flat", "%ML3", 8, {Table::HoldingRegisters, 12, 4, kNoBit}},
        {"flat", "%MW1", 4, {Table::HoldingRegisters, 1, 2, kNoBit}}, // a DINT at %MW1
        {"flat", "%MW12.3", 1, {Table::HoldingRegisters, 12, 1, 3}},
        {"flat", "%MX25.2", 1, {Table::HoldingRegisters, 12, 1, 10}},
        {"flat", "%M7", 1, {Table::Coils, 7, 1, kNoBit}},
        {"flat", "%MX7", 1, {Table::Coils, 7, 1, kNoBit}},
        {"flat", "%M7", 4, {Table::Coils, 7, 4, kNoBit}}, // four BOOLs from %M7
        {"flat", "%MW65535", 2, {Table::HoldingRegisters, 65535, 1, kNoBit}},
        {"bases", "%MW10", 2, {Table::HoldingRegisters, 1034, 1, kNoBit}},
        {"bases", "%MD5", 4, {Table::HoldingRegisters, 3010, 2, kNoBit}},
        {"bases", "%ML3", 8, {Table::HoldingRegisters, 3012, 4, kNoBit}},
        {"bases", "%MW10.15", 1, {Table::HoldingRegisters, 1034, 1, 15}},
        {"bases", "%IW3", 2, {Table::InputRegisters, 103, 1, kNoBit}},
        {"bases", "%M7", 1, {Table::Coils, 519, 1, kNoBit}},
    };
    for (const Row& row : rows) {
        std::string error;
        const auto place = PlaceOf(maps.at(row.map), row.address, row.size, error);
        ASSERT_TRUE(place) << row.map << " " << row.address << ": " << error;
        EXPECT_EQ(*place, row.place)
            << row.map << " " << row.address << ": " << RegisterMap::Describe(*place);
    }
}

TEST(RegisterMap, RefusesPlacesAMapLacksWithTheReason) {
    const struct {
        RegisterMap map;
        const char* address;
        std::uint32_t size;
        const char* error;
    } rows[] = {
        {RegisterMap::Flat(), "%IX1.2", 1, "%IX has no Modbus place in the flat register map"},
        {RegisterMap::Flat(), "%QX0.0", 1, "%QX has no Modbus place in the flat register map"},
        {RegisterMap::Flat(), "%IW3", 2, "%IW has no Modbus place in the flat register map"},
        {RegisterMap::Flat(), "%QB3", 1, "%QW has no Modbus place in the flat register map"},
        {RegisterMap::Flat(), "%MB3", 1, "only whole words of the word area have a Modbus place"},
        {RegisterMap::Flat(), "%MW65535", 4, "it lies beyond the Modbus address range"},
        {WithBases(), "%QW0", 2, "%QW has no Modbus place in the flat register map"},
        {WithBases(), "%MW64512", 2, "it lies beyond the Modbus address range"},
        {RegisterMap::OpenRuntime(), "%M7", 1,
         "%M has no Modbus place in the open-runtime register map"},
        {RegisterMap::OpenRuntime(), "%MW1", 4,
         "only %MW, %MD and %ML values of the word area have a Modbus place"},
        {RegisterMap::OpenRuntime(), "%IB1", 1,
         "only whole words of %I and %Q have a Modbus place"},
        {RegisterMap::OpenRuntime(), "%MW64512", 2, "it lies beyond the Modbus address range"},
    };
    for (const auto& row : rows) {
        std::string error;
        EXPECT_FALSE(PlaceOf(row.map, row.address, row.size, error)) << row.address;
        EXPECT_EQ(error, row.error) << row.address;
    }
    std::string error;
    EXPECT_FALSE(RegisterMap::Flat().Find(LocatedAddress::kUnlocatedBlock, 0, 2, kNoBit, error));
    EXPECT_EQ(error, "it is not located, so it has no Modbus place");
}

TEST(RegisterMap, KnowsItsNamesAndAreas) {
    EXPECT_EQ(RegisterMap::Named("flat"), RegisterMap::Flat());
    EXPECT_EQ(RegisterMap::Named("open-runtime"), RegisterMap::OpenRuntime());
    EXPECT_FALSE(RegisterMap::Named("Flat"));
    EXPECT_EQ(RegisterMap::AreaNamed("mw"), Area::MW);
    EXPECT_FALSE(RegisterMap::AreaNamed("MB"));
    EXPECT_FALSE(RegisterMap::Flat().Overridden());
    EXPECT_TRUE(WithBases().Overridden());
}

} // namespace

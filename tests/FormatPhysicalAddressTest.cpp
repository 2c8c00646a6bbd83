#include "CAppParameters.h"
#include "CVarbank.h"
#include "tagETYPMGRTypeCode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct AddressCase {
    const char* what;
    std::uint16_t wordFirstIndex;
    std::int32_t areaKind;
    std::uint16_t block;
    std::uint32_t offset;
    std::uint8_t bit;
    std::int32_t size;
    std::uint32_t typeCode;
    const char* expected;
};

CAppParameters Parameters(std::uint16_t wordFirstIndex) {
    CAppParameters p;
    p.m_Kind = 2;
    p.m_AreasValid = 1;
    p.m_WordArea = {100, wordFirstIndex, 3, 0};
    p.m_BitArea = {512, 0, 2, 0};
    return p;
}

void PrintTo(const AddressCase& c, std::ostream* os) {
    *os << c.what;
}

class AddressTable : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTable, FormsTheDirectAddress) {
    const AddressCase& c = GetParam();
    CAppParameters params = Parameters(c.wordFirstIndex);
    CVarbank dico("APP", "/tmp", &params);
    std::string text = "stale";
    dico.FormatPhysicalAddress(c.areaKind, c.block, c.offset, c.bit, c.size, c.typeCode, text);
    EXPECT_EQ(text, c.expected) << c.what;
}

constexpr std::uint32_t kInt = ETYPMGR_INT;
constexpr std::uint32_t kBool = ETYPMGR_BOOL;

INSTANTIATE_TEST_SUITE_P(
    RulesAndBounds, AddressTable,
    ::testing::Values(
        AddressCase{"word", 0, 1, 3, 24, 255, 2, kInt, "%MW12"},
        AddressCase{"odd byte bit", 0, 1, 3, 25, 3, 2, kInt, "%MW12.11"},
        AddressCase{"odd byte high bit", 0, 1, 3, 25, 9, 2, kInt, ""},
        AddressCase{"even bit", 0, 1, 3, 24, 15, 2, kInt, "%MW12.15"},
        AddressCase{"bool low byte", 0, 1, 3, 24, 255, 1, kBool, "%MW12.0"},
        AddressCase{"bool high byte", 0, 1, 3, 25, 255, 1, kBool, "%MW12.8"},
        AddressCase{"two-byte bool", 0, 1, 3, 25, 255, 2, kBool, "%MW12"},
        AddressCase{"one-byte int", 0, 1, 3, 25, 255, 1, kInt, "%MW12"},
        AddressCase{"upper word bound inclusive", 0, 1, 3, 200, 255, 2, kInt, "%MW100"},
        AddressCase{"beyond word area", 0, 1, 3, 202, 255, 2, kInt, ""},
        AddressCase{"first index shifts", 10, 1, 3, 0, 255, 2, kInt, "%MW10"},
        AddressCase{"word compared with count", 10, 1, 3, 182, 255, 2, kInt, ""},
        AddressCase{"last word with first index", 10, 1, 3, 180, 255, 2, kInt, "%MW100"},
        AddressCase{"bit area", 0, 1, 2, 40, 255, 1, kBool, "%M40"},
        AddressCase{"last bit", 0, 1, 2, 511, 255, 1, kBool, "%M511"},
        AddressCase{"bit bound exclusive", 0, 1, 2, 512, 255, 1, kBool, ""},
        AddressCase{"secondary area", 0, 2, 3, 24, 255, 2, kInt, ""},
        AddressCase{"area kind above 2", 0, 7, 2, 40, 255, 1, kBool, ""},
        AddressCase{"unknown block", 0, 1, 9, 24, 255, 2, kInt, ""}));

TEST(FormatPhysicalAddress, StartOffsetsAndEmptyAreas) {
    CAppParameters params = Parameters(0);
    params.m_WordArea = {10, 0, 3, 1000};
    params.m_BitArea = {8, 4, 2, 16};
    CVarbank dico("APP", "/tmp", &params);
    std::string text;
    dico.FormatPhysicalAddress(1, 3, 999, 255, 2, kInt, text);
    EXPECT_EQ(text, "");
    dico.FormatPhysicalAddress(1, 3, 1006, 255, 2, kInt, text);
    EXPECT_EQ(text, "%MW3");
    dico.FormatPhysicalAddress(1, 2, 17, 255, 1, kBool, text);
    EXPECT_EQ(text, "%M5");
    dico.FormatPhysicalAddress(1, 2, 23, 255, 1, kBool, text);
    EXPECT_EQ(text, "%M11");
    dico.FormatPhysicalAddress(1, 2, 24, 255, 1, kBool, text);
    EXPECT_EQ(text, ""); // n = 12 reaches FirstIndex + Count
    dico.FormatPhysicalAddress(1, 2, 15, 255, 1, kBool, text);
    EXPECT_EQ(text, "");

    // Without parameters both areas are zero and hold nothing, even at block 0.
    CVarbank bare("APP", "/tmp", nullptr);
    bare.FormatPhysicalAddress(1, 0, 0, 255, 2, kInt, text);
    EXPECT_EQ(text, "");
}

} // namespace

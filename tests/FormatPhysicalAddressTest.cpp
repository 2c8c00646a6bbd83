#include "CAppParameters.h"
#include "CVarbank.h"
#include "tagETYPMGRTypeCode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr std::uint32_t kInt = ETYPMGR_INT;
constexpr std::uint32_t kBool = ETYPMGR_BOOL;
// Word area: count, first index, block, start offset; bit area likewise.
constexpr PLCMemoryArea kWords = {100, 0, 3, 0};
constexpr PLCMemoryArea kBits = {512, 0, 2, 0};
constexpr PLCMemoryArea kWordsFrom10 = {100, 10, 3, 0};
constexpr PLCMemoryArea kWordsAt1000 = {10, 0, 3, 1000};
constexpr PLCMemoryArea kBitsFrom4At16 = {8, 4, 2, 16};
constexpr PLCMemoryArea kNone = {};

TEST(FormatPhysicalAddress, RulesAndBounds) {
    struct Case {
        const char* what;
        PLCMemoryArea words, bits;
        std::int32_t areaKind;
        std::uint16_t block;
        std::uint32_t offset;
        std::uint8_t bit;
        std::int32_t size;
        std::uint32_t typeCode;
        const char* expected;
    };
    const Case cases[] = {
        {"word", kWords, kBits, 1, 3, 24, 255, 2, kInt, "%MW12"},
        {"odd byte bit", kWords, kBits, 1, 3, 25, 3, 2, kInt, "%MW12.11"},
        {"odd byte bit 7", kWords, kBits, 1, 3, 25, 7, 2, kInt, "%MW12.15"},
        {"odd byte bit 8", kWords, kBits, 1, 3, 25, 8, 2, kInt, ""},
        {"even bit", kWords, kBits, 1, 3, 24, 15, 2, kInt, "%MW12.15"},
        {"bool low byte", kWords, kBits, 1, 3, 24, 255, 1, kBool, "%MW12.0"},
        {"bool high byte", kWords, kBits, 1, 3, 25, 255, 1, kBool, "%MW12.8"},
        {"two-byte bool", kWords, kBits, 1, 3, 25, 255, 2, kBool, "%MW12"},
        {"one-byte int", kWords, kBits, 1, 3, 25, 255, 1, kInt, "%MW12"},
        {"upper word bound inclusive", kWords, kBits, 1, 3, 200, 255, 2, kInt, "%MW100"},
        {"beyond word area", kWords, kBits, 1, 3, 202, 255, 2, kInt, ""},
        {"first index shifts", kWordsFrom10, kBits, 1, 3, 0, 255, 2, kInt, "%MW10"},
        {"word compared with count", kWordsFrom10, kBits, 1, 3, 182, 255, 2, kInt, ""},
        {"last word with first index", kWordsFrom10, kBits, 1, 3, 180, 255, 2, kInt, "%MW100"},
        {"bit area", kWords, kBits, 1, 2, 40, 255, 1, kBool, "%M40"},
        {"last bit", kWords, kBits, 1, 2, 511, 255, 1, kBool, "%M511"},
        {"bit bound exclusive", kWords, kBits, 1, 2, 512, 255, 1, kBool, ""},
        {"secondary area", kWords, kBits, 2, 3, 24, 255, 2, kInt, ""},
        {"area kind above 2", kWords, kBits, 7, 2, 40, 255, 1, kBool, ""},
        {"unknown block", kWords, kBits, 1, 9, 24, 255, 2, kInt, ""},
        {"before the start offset", kWordsAt1000, kBits, 1, 3, 999, 255, 2, kInt, ""},
        {"after the start offset", kWordsAt1000, kBits, 1, 3, 1006, 255, 2, kInt, "%MW3"},
        {"bit from its first index", kWords, kBitsFrom4At16, 1, 2, 17, 255, 1, kBool, "%M5"},
        {"last bit from its first index", kWords, kBitsFrom4At16, 1, 2, 23, 255, 1, kBool, "%M11"},
        {"bit at first index + count", kWords, kBitsFrom4At16, 1, 2, 24, 255, 1, kBool, ""},
        {"bit before the start offset", kWords, kBitsFrom4At16, 1, 2, 15, 255, 1, kBool, ""},
        {"empty areas hold nothing", kNone, kNone, 1, 0, 0, 255, 2, kInt, ""},
    };
    for (const Case& c : cases) {
        CAppParameters params;
        params.m_Kind = 2;
        params.m_AreasValid = 1;
        params.m_WordArea = c.words;
        params.m_BitArea = c.bits;
        CVarbank dico("APP", "/tmp", &params);
        std::string text = "stale";
        dico.FormatPhysicalAddress(c.areaKind, c.block, c.offset, c.bit, c.size, c.typeCode, text);
        EXPECT_EQ(text, c.expected) << c.what;
    }
}

} // namespace

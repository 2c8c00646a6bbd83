#include "CItemMap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CSymbXMLItemDef* Tag(std::uintptr_t n) {
    return reinterpret_cast<CSymbXMLItemDef*>(n * 8);
}

std::vector<std::string> Keys(const CItemMap& map) {
    std::vector<std::string> keys;
    for (const auto& entry : map) {
        keys.push_back(entry.first);
    }
    return keys;
}

// Insertion order, lookups and growth far past the initial room, with removal in between.
TEST(CItemMap, KeepsInsertionOrderThroughGrowthAndRemoval) {
    CItemMap map(4);
    const std::size_t initialSlots = map.bucket_count();
    std::vector<std::string> expected;
    for (std::uintptr_t i = 1; i <= 5000; ++i) {
        const std::string key = "K" + std::to_string(i * 7919 % 100003);
        ASSERT_TRUE(map.emplace(key, Tag(i)).second);
        expected.push_back(key);
    }
    EXPECT_GT(map.bucket_count(), initialSlots);
    EXPECT_GE(map.bucket_count(), 2 * map.size());
    EXPECT_EQ(Keys(map), expected);
    for (std::uintptr_t i = 1; i <= 5000; ++i) {
        const auto found = map.find(expected[i - 1]);
        ASSERT_NE(found, map.end());
        EXPECT_EQ(found->second, Tag(i));
    }
    const auto again = map.emplace(expected[10], Tag(99999));
    EXPECT_FALSE(again.second);
    EXPECT_EQ(again.first->second, Tag(11)); // the first insertion stays
    std::string lower = expected[10];
    lower[0] = 'k';
    EXPECT_EQ(map.count(lower), 0U); // keys compare with case

    EXPECT_EQ(map.erase(expected[10]), 1U);
    EXPECT_EQ(map.erase(expected[10]), 0U);
    expected.erase(expected.begin() + 10);
    EXPECT_EQ(Keys(map), expected);
    EXPECT_EQ(map.find(expected[10])->second, Tag(12));

    // Resuming a walk at a found entry gives the rest of the full walk.
    const auto from = map.find(expected[4000]);
    EXPECT_EQ(std::vector<std::string>(expected.begin() + 4000, expected.end()).size(),
              static_cast<std::size_t>(map.end() - from));

    const std::size_t slots = map.bucket_count();
    map.clear();
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(map.bucket_count(), slots);
    EXPECT_EQ(map.find(expected[0]), map.end());
    map["NEW"] = Tag(3);
    EXPECT_EQ(map["NEW"], Tag(3));
    EXPECT_EQ(map["ABSENT"], nullptr);
    EXPECT_EQ(Keys(map), (std::vector<std::string>{"NEW", "ABSENT"}));
}

} // namespace

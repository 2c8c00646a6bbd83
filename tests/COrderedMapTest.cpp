#include <COrderedMap.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

// Reserved room is taken without moving an entry; names stay found in insertion order,
// whether the index was sized up front, grown from nothing or reserved after it held some.
TEST(COrderedMap, ReserveKeepsEntriesInPlaceAndFindsEveryKey) {
    struct Case {
        std::size_t initial;  // entries expected by the constructor
        std::size_t before;   // entries added before reserve
        std::size_t reserved; // what reserve is asked for (0: not called)
        std::size_t total;
    };
    const Case cases[] = {{0, 0, 1000, 1000},
                          {0, 0, 0, 1000},
                          {16, 10, 5000, 5000},
                          {25309, 3, 70000, 70000},
                          {0, 100, 50, 300}};
    for (const Case& c : cases) {
        COrderedMap<int> map(c.initial);
        const auto key = [](std::size_t i) { return "V" + std::to_string(i); };
        std::size_t i = 0;
        for (; i < c.before; ++i) {
            EXPECT_TRUE(map.emplace(key(i), static_cast<int>(i)).second);
        }
        if (c.reserved > 0) {
            map.reserve(c.reserved);
        }
        const auto* first = map.empty() ? nullptr : &*map.begin();
        for (; i < c.total; ++i) {
            EXPECT_TRUE(map.emplace(key(i), static_cast<int>(i)).second);
            if (first == nullptr) {
                first = &*map.begin();
            }
        }
        if (c.reserved >= c.total) {
            EXPECT_EQ(first, &*map.begin()) << "entries moved after reserve " << c.reserved;
        }
        ASSERT_EQ(map.size(), c.total);
        for (std::size_t k = 0; k < c.total; ++k) {
            const auto found = map.find(key(k));
            ASSERT_NE(found, map.end()) << key(k);
            EXPECT_EQ(found->second, static_cast<int>(k));
            EXPECT_EQ(found - map.begin(), static_cast<std::ptrdiff_t>(k));
        }
        EXPECT_FALSE(map.emplace(key(0), -1).second);
        EXPECT_EQ(map.find("V" + std::to_string(c.total)), map.end());
    }
}

// A name is found in any case without an upper-case copy, and never by another key: the hash
// and the comparison upper-case ASCII letters only, at every length around the eight-byte steps.
TEST(COrderedMap, FindUpperFindsTheUpperCaseKeyOnly) {
    COrderedMap<int> map;
    const char* const keys[] = {"",          "A",       "V00001",        "MOTOR1_SPEED", "ABCDEFGH",
                                "ABCDEFGHI", "_Z@[`{~", "\xC3\xA9T\xE9", "V00001X",      "AB"};
    int value = 0;
    for (const char* key : keys) {
        ASSERT_TRUE(map.emplace(key, value++).second) << key;
    }
    struct Case {
        const char* name;
        int found; // the value of the entry found; -1 for none
    };
    const Case cases[] = {
        {"", 0},
        {"a", 1},
        {"A", 1},
        {"v00001", 2},
        {"Motor1_Speed", 3},
        {"abcdefgh", 4},
        {"abcdEFGHi", 5},
        {"_z@[`{~", 6}, // '@', '[', '`' and '{' border the letters: not upper-cased
        {"_Z@[`{~", 6},
        {"_Z`[`{~", -1},
        {"_Z@{`{~", -1},
        {"\xC3\xA9t\xE9", 7}, // bytes past ASCII are compared as they are
        {"\xC3\x89T\xE9", -1},
        {"\xC3\xA9T\xC9", -1},
        {"v00001x", 8},
        {"v00002", -1},
        {"ab", 9},
        {"abc", -1},
        {"b", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto found = map.FindUpper(c.name);
        if (c.found < 0) {
            EXPECT_EQ(found, map.end());
        } else {
            ASSERT_NE(found, map.end());
            EXPECT_EQ(found->second, c.found);
            EXPECT_EQ(COrderedMap<int>::KeyHash(c.name), COrderedMap<int>::KeyHash(found->first));
        }
    }
}

} // namespace

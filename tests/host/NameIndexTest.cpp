#include "text/NameIndex.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// An index over a growing table of names, as the layout and the constant table keep one.
struct Table {
    std::vector<std::string> names;
    NameIndex index{[this](std::size_t i) { return std::string_view(names[i]); }};

    std::size_t Add(const std::string& name) {
        names.push_back(name);
        return index.Insert(names.size() - 1);
    }
};

TEST(NameIndex, FindsNamesWithoutCaseAndKeepsTheFirstOfEach) {
    Table table;
    struct Case {
        std::string name;
        std::size_t held; // the entry that holds the name after the insertion
    };
    const Case inserts[] = {
        {"Motor", 0}, {"MOTOR", 0}, {"motor_1", 2}, {"Motor_1", 2}, {"", 4}, {"x", 5}, {"X", 5},
    };
    for (const Case& c : inserts) {
        EXPECT_EQ(table.Add(c.name), c.held) << c.name;
    }
    const std::pair<std::string, std::optional<std::size_t>> finds[] = {
        {"motor", 0},
        {"mOtOr", 0},
        {"MOTOR_1", 2},
        {"", 4},
        {"x", 5},
        {"Motor ", std::nullopt},
        {"Moto", std::nullopt},
        {"y", std::nullopt},
    };
    for (const auto& [name, entry] : finds) {
        EXPECT_EQ(table.index.Find(name), entry) << name;
    }
    EXPECT_EQ(table.index.Size(), 4U);
}

// Growth past many rebuilds, with and without room reserved, keeps every name and its entry.
TEST(NameIndex, KeepsEveryNameThroughGrowthAndReplaces) {
    for (const std::size_t reserved : {std::size_t{0}, std::size_t{3000}}) {
        Table table;
        table.index.Reserve(reserved);
        for (int i = 0; i < 3000; ++i) {
            ASSERT_EQ(table.Add("V" + std::to_string(i)), static_cast<std::size_t>(i));
        }
        for (int i = 0; i < 3000; ++i) {
            ASSERT_EQ(table.index.Find("v" + std::to_string(i)), static_cast<std::size_t>(i));
        }
        EXPECT_EQ(table.index.Find("V3000"), std::nullopt);
        // A later entry of the same name takes the place of the first.
        table.names.push_back("v17");
        table.index.Replace(table.names.size() - 1);
        EXPECT_EQ(table.index.Find("V17"), table.names.size() - 1);
        EXPECT_EQ(table.index.Size(), 3000U);
        table.names.push_back("New");
        table.index.Replace(table.names.size() - 1);
        EXPECT_EQ(table.index.Find("NEW"), table.names.size() - 1);
    }
}

} // namespace

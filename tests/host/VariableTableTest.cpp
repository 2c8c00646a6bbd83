// The compact variable records a program keeps: names found without case in one shared text
// block (no name runs into its neighbour's), each type given back as it was written, even
// where texts differ only in case, and the located flag.
#include "core/VariableTable.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

VariableLayout Variable(const char* name, const char* iecType, const char* address = "") {
    VariableLayout variable;
    variable.name = name;
    variable.type = std::make_shared<const VariableType>(VariableType{"IGNORED", iecType});
    variable.address = address;
    variable.comment = "not kept";
    variable.initialValue = "1";
    return variable;
}

TEST(VariableTableTest, FindsNamesAndGivesBackTypesAndPlaces) {
    const std::vector<VariableLayout> layouts = {
        Variable("AB", "INT"),
        Variable("C", "Int"),
        Variable("Motor1", "Motor"),
        Variable("Status", "WORD", "%MW10"),
        Variable("Table", "ARRAY[1..10] OF INT"),
        Variable("Speed", "INT", "%MW12"),
        Variable("motor1", "REAL"), // the same name in another case: the first one stays
        Variable("", "BOOL"),
    };
    const VariableTable table(layouts);
    ASSERT_EQ(table.Size(), layouts.size());
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE(layouts[i].name);
        EXPECT_EQ(table.Name(i), layouts[i].name);
        EXPECT_EQ(table.IecType(i), layouts[i].IecType());
        EXPECT_EQ(table.Located(i), !layouts[i].address.empty());
    }
    struct Case {
        const char* name;
        std::optional<std::size_t> number;
    };
    const Case cases[] = {
        {"AB", 0},
        {"ab", 0},
        {"C", 1},
        {"ABC", std::nullopt},
        {"BC", std::nullopt},
        {"A", std::nullopt},
        {"MOTOR1", 2},
        {"motor1", 2},
        {"Motor", std::nullopt},
        {"status", 3},
        {"Table", 4},
        {"speed", 5},
        {"Missing", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(table.Find(c.name), c.number) << c.name;
    }
}

TEST(VariableTableTest, AnEmptyListFindsNothing) {
    const VariableTable table({});
    EXPECT_EQ(table.Size(), 0U);
    EXPECT_EQ(table.Find("X"), std::nullopt);
    EXPECT_EQ(table.Find(""), std::nullopt);
}

} // namespace

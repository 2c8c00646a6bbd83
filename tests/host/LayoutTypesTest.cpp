// The types of item names without copies: TypeView reads a name in place and must tell what
// TypeOf tells; TypeViewBelow tells a child's type from its parent's and must agree with both.
#include "core/LayoutTypes.h"
#include "HostTestSupport.h"

#include <gtest/gtest.h>

namespace {

using hosttest::Var;

const char* kTypes = R"(
<dataType name="Level"><baseType><INT/></baseType></dataType>
<dataType name="Row"><baseType><array><dimension lower="0" upper="2"/>
  <baseType><derived name="Level"/></baseType></array></baseType></dataType>
<dataType name="Grid"><baseType><array><dimension lower="1" upper="2"/>
  <baseType><derived name="Row"/></baseType></array></baseType></dataType>
<dataType name="Motor"><baseType><struct>
  <variable name="Speed"><type><derived name="Level"/></type></variable>
  <variable name="Flags"><type><WORD/></type></variable>
  <variable name="Rows"><type><derived name="Grid"/></type></variable>
  <variable name="Table"><type><array><dimension lower="0" upper="1"/>
    <dimension lower="0" upper="2"/><baseType><REAL/></baseType></array></type></variable>
</struct></baseType></dataType>
)";

std::string Program() {
    const std::string motors = "<array><dimension lower=\"1\" upper=\"3\"/><baseType>"
                               "<derived name=\"Motor\"/></baseType></array>";
    return hosttest::Project(kTypes, "",
                             Var("Count", "<DINT/>") + Var("Pump", "<derived name=\"Motor\"/>") +
                                 Var("Motors", motors) + Var("Plane", "<derived name=\"Grid\"/>"));
}

TEST(LayoutTypesTest, TypeViewTellsWhatTypeOfTells) {
    Diagnostics diagnostics("test.xml");
    const auto layout = hosttest::Import(Program(), diagnostics);
    ASSERT_TRUE(layout);
    const VariableTable variables(layout->variables);
    const LayoutTypes types(*layout, variables);
    struct Case {
        const char* name;
        const char* type; // as TypeOf gives it
    };
    const Case cases[] = {
        {"Count", "DINT"},
        {"count", "DINT"},
        {"Count.3", "BOOL"},
        {"Pump", "Motor"},
        {"Pump.Speed", "Level"},
        {"Pump.speed", "Level"},
        {"Pump.Flags.15", "BOOL"},
        {"Pump.Rows[1]", "Row"},
        {"Pump.Rows[1][2]", "Level"},
        {"Pump.Table[1]", ""}, // half of a two-dimensional array
        {"Pump.Table[1][2]", "REAL"},
        {"Pump.Table[1,2]", "REAL"},
        {"Motors[2].Rows[1][0]", "Level"},
        {"Motors[2]", "Motor"},
        {"Plane[1][2]", "Level"},
        {"Plane[1][2][0]", ""}, // an index too many
        {"Pump.Missing", ""},
        {"Pump.", ""},
        {"Missing", ""},
        {"", ""},
    };
    std::vector<std::string> names;
    for (const Case& c : cases) {
        EXPECT_EQ(types.TypeOf(c.name), c.type) << c.name;
        EXPECT_EQ(types.TypeView(c.name), c.type) << c.name;
        names.emplace_back(c.name);
    }
    // Found together, the variables give the same types: a name whose variable is unknown
    // finds none.
    const std::vector<std::optional<std::size_t>> found = types.FindVariables(names);
    ASSERT_EQ(found.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view type = found[i] ? types.TypeViewOf(*found[i], names[i]) : "";
        EXPECT_EQ(type, cases[i].type) << names[i];
    }
    EXPECT_FALSE(found[18]); // Missing
    EXPECT_FALSE(found[19]); // the empty name
}

TEST(LayoutTypesTest, TypeViewBelowAgreesWithTheWholeName) {
    Diagnostics diagnostics("test.xml");
    const auto layout = hosttest::Import(Program(), diagnostics);
    ASSERT_TRUE(layout);
    const VariableTable variables(layout->variables);
    const LayoutTypes types(*layout, variables);
    struct Case {
        const char* parent;
        const char* suffix;
        bool told; // false: the parent's type cannot tell it
    };
    const Case cases[] = {
        {"Pump", ".Speed", true},        {"Pump", ".Flags.3", true},
        {"Pump", ".Rows[2][1]", true},   {"Pump.Rows", "[1]", true},
        {"Pump.Table", "[1][2]", true},  {"Pump.Table", "[1]", true},
        {"Motors", "[3]", true},         {"Motors", "[3].Rows[1]", true},
        {"Motors[1]", ".Missing", true}, {"Plane[1]", "[0]", true},
        {"Pump.Table[1]", "[2]", false}, // the parent is half an array: no type of its own
        {"Pump", "Speed", false},        {"Pump", "", false},
    };
    for (const Case& c : cases) {
        const std::string whole = std::string(c.parent) + c.suffix;
        const auto below = types.TypeViewBelow(types.TypeView(c.parent), c.suffix);
        ASSERT_EQ(below.has_value(), c.told) << whole;
        if (below) {
            EXPECT_EQ(*below, types.TypeOf(whole)) << whole;
        }
    }
}

} // namespace

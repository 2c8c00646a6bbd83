// Item paths as MQTT topic levels and back, and the publish lists: their globs, and names,
// patterns and "located" on the example program.
#include "mqtt/TopicName.h"
#include "core/Program.h"
#include "mqtt/PublishItems.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

struct TopicCase {
    std::string item;
    std::string levels;
    bool roundTrip; // the levels read back as the same item
};

TEST(TopicName, ItemPathsBecomeLevelsAndBack) {
    const std::vector<TopicCase> cases = {
        {"Speed", "Speed", true},
        {"Line.Conveyors[2].Belt.Speed", "Line/Conveyors/2/Belt/Speed", true},
        {"A[1][2]", "A/1/2", true},
        {"A[-3].B", "A/-3/B", true},
        {"A[1,2]", "A/1/2", false}, // the IEC spelling reads back as A[1][2]
        {"W.3", "W/3", false},      // a bit reads back as an element
        {"Motor_1.x_2", "Motor_1/x_2", true},
    };
    for (const TopicCase& c : cases) {
        EXPECT_EQ(TopicName::FromItem(c.item), c.levels) << c.item;
        const auto back = TopicName::ToItem(c.levels);
        ASSERT_TRUE(back) << c.levels;
        EXPECT_EQ(*back == c.item, c.roundTrip) << c.levels << " -> " << *back;
    }
    EXPECT_EQ(TopicName::ToItem("A/1/2"), "A[1][2]");
    EXPECT_EQ(TopicName::ToItem("W/3"), "W[3]");
}

TEST(TopicName, RefusesLevelsNoItemPathMakes) {
    for (const std::string levels : {"", "A//B", "A/", "/A", "A.B/C", "A/[1]", "A/1,2", "A]"}) {
        EXPECT_EQ(TopicName::ToItem(levels), std::nullopt) << levels;
    }
    // Loose spellings pass here and are refused by the item name check after it.
    EXPECT_EQ(TopicName::ToItem("A/02"), "A[02]");
    EXPECT_EQ(TopicName::ToItem("3/A"), "[3].A");
}

TEST(TopicName, LevelFaults) {
    EXPECT_EQ(TopicName::LevelFault("bottling"), "");
    EXPECT_EQ(TopicName::LevelFault("line-2 b"), "");
    EXPECT_EQ(TopicName::LevelFault(""), "an empty topic level");
    EXPECT_EQ(TopicName::LevelFault("a+b"), "'+' in a topic level");
    EXPECT_EQ(TopicName::LevelFault("a#"), "'#' in a topic level");
    EXPECT_EQ(TopicName::LevelFault("a/b"), "'/' in a topic level");
    EXPECT_EQ(TopicName::LevelFault(std::string("a\nb")), "a control character in a topic level");
}

TEST(PublishItems, PatternsMatchLikeGlobs) {
    struct Case {
        const char* pattern;
        const char* text;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"*", "Anything", true},
        {"Motor*", "Motor1", true},
        {"Motor*", "motor1", false},
        {"[*]", "[12]", true},
        {"[?]", "[12]", false},
        {"[1?]", "[12]", true},
        {"*Speed", "BeltSpeed", true},
        {"*Speed", "Speeds", false},
        {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},
        {"", "", true},
        {"?", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PublishItems::Matches(c.pattern, c.text), c.matches)
            << c.pattern << " ~ " << c.text;
    }
}

} // namespace

namespace {

std::shared_ptr<Program> Example() {
    Diagnostics report("production_line.xml");
    return Program::Open(std::string(VARBANK_EXAMPLES_DIR) + "/production_line.xml", {}, report);
}

TEST(PublishItems, ExpandsNamesPatternsAndLocatedOnTheExample) {
    const auto program = Example();
    ASSERT_TRUE(program);
    struct Case {
        std::vector<std::string> entries;
        std::vector<std::string> names; // in the order found, each once
    };
    const std::vector<Case> cases = {
        {{"located"},
         {"InletSensor", "ValveCommand", "Status", "Counter", "StartButton", "AlarmLamp"}},
        {{"Motor1.S*"}, {"Motor1.Speed", "Motor1.State"}},
        {{"Speeds[?]"},
         {"Speeds[0]", "Speeds[1]", "Speeds[2]", "Speeds[3]", "Speeds[4]", "Speeds[5]", "Speeds[6]",
          "Speeds[7]", "Speeds[8]", "Speeds[9]"}},
        {{"Motor*.Speed"}, {"Motor1.Speed", "Motor2.Speed"}},
        {{"Counter", "Count*", "Motor1.Speed"}, {"Counter", "Motor1.Speed"}},
        {{"NoSuch*"}, {}},
    };
    for (const Case& c : cases) {
        const PublishItems::Result result = PublishItems::Expand(*program, c.entries);
        EXPECT_TRUE(result.Ok()) << result.error;
        EXPECT_EQ(result.names, c.names) << testing::PrintToString(c.entries);
    }
}

TEST(PublishItems, RefusesBadNamesAndTooManyValuesWithAMessage) {
    const auto program = Example();
    ASSERT_TRUE(program);
    const PublishItems::Result bad = PublishItems::Expand(*program, {"Motor1..Speed"});
    EXPECT_FALSE(bad.Ok());
    EXPECT_NE(bad.error.find("'Motor1..Speed' is not a valid item name"), std::string::npos)
        << bad.error;
    // Ten elements are more than a bound of five values.
    const PublishItems::Result many = PublishItems::Expand(*program, {"Speeds"}, 5);
    EXPECT_FALSE(many.Ok());
    EXPECT_EQ(many.error, "the items to publish hold more than 5 values; name fewer");
    EXPECT_TRUE(many.names.empty());
    const PublishItems::Result wide = PublishItems::Expand(*program, {"Speeds[*]"}, 5);
    EXPECT_EQ(wide.error, "'Speeds[*]' matches more than 5 items; name fewer");
}

} // namespace

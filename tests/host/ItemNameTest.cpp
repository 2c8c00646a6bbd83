#include "core/ItemName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// Names the grammar takes, and the text the dictionary is given.
TEST(ItemName, TakesNamesAndWritesIecElementsAsBrackets) {
    const std::pair<std::string, std::string> cases[] = {
        {"Motor1", "Motor1"},
        {"_x", "_x"},
        {"Motor1.Speed", "Motor1.Speed"},
        {"Line.Conveyors[1].Belt.Speed", "Line.Conveyors[1].Belt.Speed"},
        {"Speeds[0]", "Speeds[0]"},
        {"A[-3]", "A[-3]"},
        {"A[1,2]", "A[1][2]"},
        {"A[1][2]", "A[1][2]"},
        {"A[1,-2,3][4].B", "A[1][-2][3][4].B"},
        {"A[2147483647]", "A[2147483647]"},
        {"A[-2147483648]", "A[-2147483648]"},
        {"X.3", "X.3"},
        {"X.0", "X.0"},
        {"X.63", "X.63"},
        {"Speeds[1].15", "Speeds[1].15"},
        {std::string(ItemName::kMaxLength, 'a'), std::string(ItemName::kMaxLength, 'a')},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        const ItemName checked = ItemName::Check(name);
        EXPECT_TRUE(checked.Ok()) << checked.Reason();
        EXPECT_EQ(checked.Text(), text);
        EXPECT_EQ(checked.Reason(), "");
        // The shortcut for one identifier takes exactly the names without a member, an index
        // or a bit.
        EXPECT_EQ(ItemName::IsIdentifier(name), name.find_first_of(".[") == std::string::npos);
    }
}

// Every refusal names the 0-based byte offset of its fault.
TEST(ItemName, RefusesLooseNamesWithThePlaceOfTheFault) {
    struct Case {
        std::string name;
        std::size_t position;
        const char* what;
    };
    const Case cases[] = {
        {"", 0, "an empty name"},
        {"Speeds[,1]", 7, "an empty index"},
        {"Speeds[]", 7, "an empty index"},
        {"Speeds[1,]", 9, "an empty index"},
        {"Speeds[-]", 7, "a minus sign without digits"},
        {"Speeds[1", 8, "a '[' without its ']'"},
        {"Motor1.Speed.", 13, "an empty part"},
        {"Line.Conveyors[1].Belt.Speed.", 29, "an empty part"},
        {"Motor1..Speed", 7, "an empty part"},
        {".Motor1.Speed", 0, "an empty part"},
        {"A.[1]", 2, "an empty part"},
        {"[1]", 0, "an empty part"},
        {" Motor1.Speed", 0, "a blank"},
        {"Motor1.Speed ", 12, "a blank"},
        {"A[1 ]", 3, "a blank"},
        {"A[ 1]", 2, "a blank"},
        {"Status.-0", 7, "an unexpected '-'"},
        {"Motor1.Speed\0garbage"s, 12, "a NUL character"},
        {"Counter\0junk"s, 7, "a NUL character"},
        {"Motor1\t.Speed", 6, "a control character (0x09)"},
        {"A\x7F", 1, "a control character (0x7F)"},
        {"Motor\xC3\xA9", 5, "a character outside ASCII"},
        {"A[+1]", 2, "a plus sign"},
        {"A[01]", 2, "a leading zero"},
        {"A[-01]", 3, "a leading zero"},
        {"A[-0]", 2, "minus zero"},
        {"A[2147483648]", 2, "an index outside -2147483648 .. 2147483647"},
        {"A[-2147483649]", 2, "an index outside -2147483648 .. 2147483647"},
        {"A[99999999999999999999]", 2, "an index outside -2147483648 .. 2147483647"},
        {"A[1;2]", 3, "an unexpected ';'"},
        {"A]", 1, "an unexpected ']'"},
        {"A-B", 1, "an unexpected '-'"},
        {"3.X", 0, "a name that starts with a digit"},
        {"3", 0, "a name that starts with a digit"},
        {"A.3X", 2, "an identifier that starts with a digit"},
        {"A.B.3.C", 4, "a bit number that is not the last part"},
        {"A.3[1]", 2, "a bit number that is not the last part"},
        {"X.03", 2, "a leading zero"},
        {"X.64", 2, "a bit number above 63"},
        {"X.4294967296", 2, "a bit number above 63"},
        {std::string(ItemName::kMaxLength + 1, 'a'), ItemName::kMaxLength,
         "longer than the limit of 1024 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ItemName checked = ItemName::Check(c.name);
        EXPECT_EQ(checked.Fault(), NameFault::NotAnItemName);
        EXPECT_EQ(checked.Position(), c.position);
        EXPECT_EQ(checked.Reason(), "not a valid item name: "s + c.what + " at position " +
                                        std::to_string(c.position));
        EXPECT_EQ(checked.Text(), "");
        EXPECT_FALSE(ItemName::IsIdentifier(c.name));
    }
    EXPECT_FALSE(ItemName::IsIdentifier("Motor1.\xff"));
    // Ill-formed UTF-8 keeps its own fault, at the first bad byte.
    const ItemName bad = ItemName::Check("Motor1.\xff");
    EXPECT_EQ(bad.Fault(), NameFault::InvalidUtf8);
    EXPECT_EQ(bad.Position(), 7U);
    EXPECT_EQ(bad.Reason(), FaultText(NameFault::InvalidUtf8));
}

// A browse path may be empty (the root); a continuation is checked only for its bytes.
TEST(ItemName, ChecksBrowsePathsAndContinuations) {
    EXPECT_TRUE(ItemName::CheckPath("").Ok());
    EXPECT_EQ(ItemName::CheckPath("Line.Recipes[2,3]").Text(), "Line.Recipes[2][3]");
    EXPECT_EQ(ItemName::CheckPath("Line.").Reason(),
              "not a valid item name: an empty part at position 5");
    const std::pair<std::string, std::string> tokens[] = {
        {"Speeds[4]", ""},
        {"any text the service gave", ""},
        {"Speeds[4]\0junk"s, "not a valid continuation: a NUL character at position 9"},
        {"A\nB", "not a valid continuation: a control character (0x0A) at position 1"},
        {"A\xff", "not a valid continuation: ill-formed UTF-8 at position 1"},
        {std::string(ItemName::kMaxContinuation, 'a'), ""},
        {std::string(ItemName::kMaxContinuation + 1, 'a'),
         "not a valid continuation: longer than the limit of 4096 bytes"},
    };
    for (const auto& [token, fault] : tokens) {
        SCOPED_TRACE(token);
        EXPECT_EQ(ItemName::ContinuationFault(token), fault);
    }
}

} // namespace

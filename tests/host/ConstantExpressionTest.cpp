#include "HostTestSupport.h"

#include "import/types/ConstantExpression.h"
#include "text/HostText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>

namespace {

using hosttest::Repeat;

struct ExpressionCase {
    std::string text;
    std::optional<std::int64_t> value; // nothing: an error containing `error`
    const char* error = "";
};

// Names as a table would answer them, by upper-case name as written.
ConstantExpression::Result Lookup(std::string_view name, std::size_t) {
    static const std::map<std::string, std::int64_t> kValues = {
        {"N", 10}, {"GVL.MAX", 7}, {"COLOUR#RED", 1}, {"CIN", 4}};
    const auto found = kValues.find(ToUpperAscii(name));
    if (found == kValues.end()) {
        return ConstantExpression::Result::Failure(Quoted(name) + " is not declared");
    }
    return ConstantExpression::Result::Of(found->second);
}

TEST(ConstantExpression, EvaluatesIntegerExpressionsOrSaysWhyNot) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    const ExpressionCase cases[] = {
        // literals
        {"42", 42},
        {"  7  ", 7},
        {"16#FF", 255},
        {"16#ff", 255},
        {"2#1010", 10},
        {"8#17", 15},
        {"1_000", 1000},
        {"INT#5", 5},
        {"int#-5", -5},
        {"DINT#16#FF", 255},
        {"9223372036854775807", kMax},
        // operators, precedence and association
        {"2 + 3 * 4", 14},
        {"(2 + 3) * 4", 20},
        {"10 - 2 - 3", 5},
        {"100 / 10 / 5", 2},
        {"-7 / 2", -3},
        {"7 / -2", -3},
        {"-7 MOD 3", -1},
        {"7 mod 3", 1},
        {"2*-3", -6},
        {"- -5", 5},
        {"-(3)", -3},
        {"+4", 4},
        {"-9223372036854775807 - 1", kMin},
        {Repeat("-", 100001) + "1", -1},
        // names
        {"N - 1", 9},
        {"2 * N", 20},
        {"(ciN + 1) MOD 4", 1},
        {"Gvl.Max", 7},
        {"Colour#Red + 1", 2},
        {"N/N", 1},
        {"NMOD", std::nullopt, "'NMOD' is not declared"},
        // faults
        {"", std::nullopt, "no value is written"},
        {"   ", std::nullopt, "no value is written"},
        {"1 / 0", std::nullopt, "division by zero"},
        {"5 MOD (N - 10)", std::nullopt, "MOD by zero"},
        {"9223372036854775807 + 1", std::nullopt, "does not fit 64 bits"},
        {"4611686018427387904 * 2", std::nullopt, "does not fit 64 bits"},
        {"-9223372036854775807 - 2", std::nullopt, "does not fit 64 bits"},
        {"(-9223372036854775807 - 1) / -1", std::nullopt, "does not fit 64 bits"},
        {"-(-9223372036854775807 - 1)", std::nullopt, "does not fit 64 bits"},
        {"99999999999999999999", std::nullopt, "'99999999999999999999' does not fit 64 bits"},
        {"16#1_0000_0000_0000_0000", std::nullopt, "does not fit 64 bits"},
        {"12x", std::nullopt, "'12x' is not an integer"},
        {"3#12", std::nullopt, "'3#12' is not an integer"},
        {"1.5", std::nullopt, "unexpected '.5'"},
        {"1 2", std::nullopt, "unexpected '2'"},
        {"(1 + 2", std::nullopt, "a '(' is not closed"},
        {"1 +", std::nullopt, "a value is missing at the end"},
        {"3 * )", std::nullopt, "a value is missing before ')'"},
        {"MOD 3", std::nullopt, "MOD needs a value on its left"},
        {"SINT#300", std::nullopt, "'SINT#300' does not fit SINT"},
        {"UINT#-1", std::nullopt, "'UINT#-1' does not fit UINT"},
        {"Colour#", std::nullopt, "cannot read 'Colour#'"},
        {"N + Ghost", std::nullopt, "'Ghost' is not declared"},
        {"1 / 0 + Ghost", std::nullopt, "division by zero"}, // the first fault from the left
        {Repeat("(", 300) + "1" + Repeat(")", 300), std::nullopt, "nest deeper than 256 levels"},
    };
    for (const ExpressionCase& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 60));
        const auto result = ConstantExpression::Evaluate(c.text, Lookup);
        EXPECT_EQ(result.value, c.value) << result.error;
        if (!c.value) {
            EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
        }
    }
}

// A name is looked up as written, one level deeper than where it stands, so that a table can
// hold nested constants to the same limit as parentheses.
TEST(ConstantExpression, NamesAreLookedUpAsWrittenOneLevelDeeper) {
    std::vector<std::pair<std::string, std::size_t>> seen;
    const auto record = [&](std::string_view name, std::size_t depth) {
        seen.emplace_back(std::string(name), depth);
        return ConstantExpression::Result::Of(1);
    };
    EXPECT_EQ(ConstantExpression::Evaluate("a + (Gvl.B * ((E#V)))", record, 5).value, 2);
    const std::vector<std::pair<std::string, std::size_t>> expected = {
        {"a", 6}, {"Gvl.B", 7}, {"E#V", 9}};
    EXPECT_EQ(seen, expected);
}

} // namespace

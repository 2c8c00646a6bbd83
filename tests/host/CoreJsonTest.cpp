// The JSON the command line and the API send for the core's values and faults: every kind of
// value keeps its kind and range both ways, and a fault below a name names the leaf.
#include "json/CoreJson.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace {

struct RoundTrip {
    const char* json;
    Value value;
};

TEST(CoreJson, ValuesKeepTheirKindBothWays) {
    using I = std::int64_t;
    using U = std::uint64_t;
    const RoundTrip cases[] = {
        {"true", true},
        {"-9223372036854775808", I{std::numeric_limits<I>::min()}},
        {"18446744073709551615", U{std::numeric_limits<U>::max()}},
        {"-2.25", -2.25},
        {"\"T#1s500ms\"", "T#1s500ms"},
        {"[1,[2,3]]", Value::List{U{1}, Value::List{U{2}, U{3}}}},
        {"{\"Speed\":5}", Value::Members{{"Speed", U{5}}}},
        {"null", Value()},
    };
    for (const RoundTrip& c : cases) {
        SCOPED_TRACE(c.json);
        const nlohmann::json parsed = nlohmann::json::parse(c.json);
        EXPECT_EQ(CoreJson::ToValue(parsed), c.value);
        EXPECT_EQ(CoreJson::FromValue(c.value), parsed);
    }
}

struct ErrorCase {
    ValueFault fault;
    const char* faultPath;
    const char* expected; // null: no error
};

TEST(CoreJson, AFaultBelowTheNameNamesItsLeaf) {
    const ErrorCase cases[] = {
        {ValueFault::None, "", nullptr},
        {ValueFault::Name, "Line.Filler", "Line.Filler: reason"},
        {ValueFault::Opaque, "Line.Filler.T", "Line.Filler.T: reason"},
        {ValueFault::TooManyLeaves, "", "Line.Filler: reason"},
    };
    for (const ErrorCase& c : cases) {
        ValueResult result;
        result.name = "Line.Filler";
        result.fault = c.fault;
        result.faultPath = c.faultPath;
        result.reason = c.fault == ValueFault::None ? "" : "reason";
        SCOPED_TRACE(c.faultPath);
        EXPECT_EQ(CoreJson::Error(result),
                  c.expected ? nlohmann::json(c.expected) : nlohmann::json());
        EXPECT_EQ(CoreJson::ValueRead(result)["error"], CoreJson::Error(result));
    }
}

// The direct writer of a subscription's changes gives exactly the document's text, for every
// kind of value, text that needs escaping or replacing, errors and durations.
TEST(CoreJson, ChangesTextIsTheDocumentsText) {
    const auto at = std::chrono::system_clock::time_point(std::chrono::milliseconds(1765049000123));
    auto change = [&](std::string name, std::optional<Value> value, const char* type) {
        ValueResult result;
        result.name = std::move(name);
        result.value = std::move(value);
        if (type != nullptr) {
            result.type = type;
        }
        return SampledChange{result, at};
    };
    ChangeBatch batch;
    batch.merged = 12;
    batch.changes = {
        change("A", Value(std::int64_t{-5}), "INT"),
        change("B", Value(std::uint64_t{18446744073709551615U}), "ULINT"),
        change("C", Value(2.0), "REAL"),
        change("D", Value(0.1), "LREAL"),
        change("E", Value(true), "BOOL"),
        change("F", Value(std::string("say \"hi\"\n\\ \xC3\xA9 \xFF")), "STRING[20]"),
        change("Tab[3].\x01", Value(std::string("")), nullptr),
        change("T", Value(std::string("T#1s")), "TIME"),
        change("Gone", std::nullopt, nullptr),
    };
    batch.changes[7].result.milliseconds = Value(std::int64_t{1000});
    batch.changes[8].result.fault = ValueFault::Name;
    batch.changes[8].result.reason = "unknown item";
    batch.changes[8].time = at + std::chrono::milliseconds(100);
    EXPECT_EQ(CoreJson::ChangesText(batch), CoreJson::Text(CoreJson::Changes(batch), -1));
    EXPECT_EQ(CoreJson::ChangesText(ChangeBatch{}), CoreJson::Text(CoreJson::Changes({}), -1));
}

} // namespace

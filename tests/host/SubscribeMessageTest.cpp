// What a subscriber asks over a stream: the WebSocket messages and the event stream's
// parameters, each refused with its reason, and the answers the client reads.
#include "service/SubscribeMessage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

using Kind = SubscribeMessage::Kind;
using std::chrono::milliseconds;

struct MessageCase {
    const char* what;
    std::string text;
    Kind kind;
    std::vector<std::string> names;
    std::optional<milliseconds> interval;
    double deadband;
    const char* reason; // a part of the reason when refused
};

TEST(SubscribeMessage, ReadsMessagesAndRefusesMalformedOnes) {
    const std::string big(20000, 'A');
    const MessageCase cases[] = {
        {"subscribe",
         R"({"subscribe": ["Motor1.Speed", "Status.3"]})",
         Kind::Subscribe,
         {"Motor1.Speed", "Status.3"},
         std::nullopt,
         0,
         nullptr},
        {"with options",
         R"({"subscribe": ["A"], "intervalMs": 100, "deadband": 0.5, "id": 3})",
         Kind::Subscribe,
         {"A"},
         milliseconds(100),
         0.5,
         nullptr},
        {"interval 0 is left to the sampler",
         R"({"subscribe": ["A"], "intervalMs": 0})",
         Kind::Subscribe,
         {"A"},
         milliseconds(0),
         0,
         nullptr},
        {"a huge interval is capped",
         R"({"subscribe": ["A"], "intervalMs": 18446744073709551615})",
         Kind::Subscribe,
         {"A"},
         milliseconds(1000000000),
         0,
         nullptr},
        {"an integral deadband",
         R"({"subscribe": ["A"], "deadband": 2})",
         Kind::Subscribe,
         {"A"},
         std::nullopt,
         2,
         nullptr},
        {"unsubscribe",
         R"({"unsubscribe": ["A", "B"]})",
         Kind::Unsubscribe,
         {"A", "B"},
         std::nullopt,
         0,
         nullptr},
        {"empty list is the subscription's to refuse",
         R"({"subscribe": []})",
         Kind::Subscribe,
         {},
         std::nullopt,
         0,
         nullptr},
        {"not JSON", "{", Kind::Invalid, {}, std::nullopt, 0, "the message is not JSON"},
        {"empty text", "", Kind::Invalid, {}, std::nullopt, 0, "not JSON"},
        {"a list", "[]", Kind::Invalid, {}, std::nullopt, 0, "JSON object"},
        {"neither", R"({"id": 1})", Kind::Invalid, {}, std::nullopt, 0, "needs \"subscribe\""},
        {"both",
         R"({"subscribe": [], "unsubscribe": []})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "not both"},
        {"names as text",
         R"({"subscribe": "A"})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "list of names"},
        {"a number among names",
         R"({"unsubscribe": ["A", 2]})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "must be a string"},
        {"negative interval",
         R"({"subscribe": ["A"], "intervalMs": -1})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "whole number"},
        {"fractional interval",
         R"({"subscribe": ["A"], "intervalMs": 1.5})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "whole number"},
        {"interval as text",
         R"({"subscribe": ["A"], "intervalMs": "5"})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "whole number"},
        {"negative deadband",
         R"({"subscribe": ["A"], "deadband": -0.1})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "0 or more"},
        {"deadband as text",
         R"({"subscribe": ["A"], "deadband": "1"})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "0 or more"},
        {"an unknown member",
         R"({"subscribe": ["A"], "interval": 5})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "unknown member"},
        {"options on unsubscribe",
         R"({"unsubscribe": ["A"], "intervalMs": 5})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "in an unsubscribe message"},
        {"a structured id",
         R"({"subscribe": ["A"], "id": [1]})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "\"id\""},
        {"a name twice",
         R"({"subscribe": ["A"], "subscribe": ["B"]})",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "twice"},
        {"too many names",
         "{\"subscribe\": [" +
             [] {
                 std::string list;
                 for (int i = 0; i <= 10000; ++i) {
                     list += (i ? ",\"A\"" : "\"A\"");
                 }
                 return list;
             }() +
             "]}",
         Kind::Invalid,
         {},
         std::nullopt,
         0,
         "at most 10000"},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.what);
        const SubscribeMessage message = SubscribeMessage::Parse(c.text);
        EXPECT_EQ(message.kind, c.kind) << message.reason;
        if (c.reason != nullptr) {
            EXPECT_NE(message.reason.find(c.reason), std::string::npos) << message.reason;
            EXPECT_TRUE(message.request.names.empty());
            continue;
        }
        EXPECT_EQ(message.request.names, c.names);
        EXPECT_EQ(message.request.interval, c.interval);
        EXPECT_EQ(message.request.deadband, c.deadband);
    }
}

struct QueryCase {
    const char* what;
    const char* target;
    bool ok;
    std::vector<std::string> names;
    std::optional<milliseconds> interval;
    double deadband;
    const char* reason;
};

TEST(SubscribeMessage, ReadsAnEventStreamsParameters) {
    const QueryCase cases[] = {
        {"items and options",
         "/s?item=A&item=B%2EC&intervalMs=250&deadband=1.5",
         true,
         {"A", "B.C"},
         milliseconds(250),
         1.5,
         nullptr},
        {"no options", "/s?item=A", true, {"A"}, std::nullopt, 0, nullptr},
        {"an interval past any range is capped",
         "/s?item=A&intervalMs=99999999999999999999999",
         true,
         {"A"},
         milliseconds(1000000000),
         0,
         nullptr},
        {"no items is the subscription's to refuse", "/s", true, {}, std::nullopt, 0, nullptr},
        {"interval not a number",
         "/s?item=A&intervalMs=1s",
         false,
         {},
         std::nullopt,
         0,
         "intervalMs must be"},
        {"interval empty", "/s?item=A&intervalMs=", false, {}, std::nullopt, 0, "intervalMs"},
        {"interval negative", "/s?item=A&intervalMs=-5", false, {}, std::nullopt, 0, "intervalMs"},
        {"deadband not a number",
         "/s?item=A&deadband=x",
         false,
         {},
         std::nullopt,
         0,
         "deadband must be"},
        {"deadband infinite", "/s?item=A&deadband=inf", false, {}, std::nullopt, 0, "deadband"},
        {"deadband negative", "/s?item=A&deadband=-1", false, {}, std::nullopt, 0, "deadband"},
        {"an unknown parameter",
         "/s?item=A&interval=5",
         false,
         {},
         std::nullopt,
         0,
         "unknown parameter"},
        {"an option twice",
         "/s?item=A&deadband=1&deadband=2",
         false,
         {},
         std::nullopt,
         0,
         "more than once"},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(c.what);
        HttpRequest request;
        request.method = "GET";
        ASSERT_TRUE(request.SetTarget(c.target));
        const SubscribeMessage message = SubscribeMessage::FromQuery(request);
        EXPECT_EQ(message.kind == Kind::Subscribe, c.ok) << message.reason;
        if (!c.ok) {
            EXPECT_NE(message.reason.find(c.reason), std::string::npos) << message.reason;
            continue;
        }
        EXPECT_EQ(message.request.names, c.names);
        EXPECT_EQ(message.request.interval, c.interval);
        EXPECT_EQ(message.request.deadband, c.deadband);
    }
}

TEST(SubscribeMessage, AnswersCarryTheIdAndTheNote) {
    const SubscribeMessage withId = SubscribeMessage::Parse(R"({"subscribe": ["A"], "id": "q1"})");
    SubscribeAnswer raised{{}, {"A"}, milliseconds(10), "the interval was raised to 10 ms"};
    EXPECT_EQ(withId.Answer(raised), (nlohmann::json{{"subscribed", {"A"}},
                                                     {"intervalMs", 10},
                                                     {"note", "the interval was raised to 10 ms"},
                                                     {"id", "q1"}}));
    const SubscribeMessage plain = SubscribeMessage::Parse(R"({"unsubscribe": ["A"]})");
    EXPECT_EQ(plain.Answer({{}, {"A"}, milliseconds(1000), {}}),
              (nlohmann::json{{"subscribed", {"A"}}, {"intervalMs", 1000}}));
    EXPECT_EQ(plain.Answer({"too many", {}, milliseconds(0), {}}),
              (nlohmann::json{{"error", "too many"}}));
    EXPECT_EQ(plain.Unsubscribed({}), (nlohmann::json{{"unsubscribed", nlohmann::json::array()}}));
    // A refused message still echoes the id it carried.
    const SubscribeMessage refused = SubscribeMessage::Parse(R"({"id": 9, "subscribe": 1})");
    EXPECT_EQ(refused.Error(refused.reason)["id"], 9);
}

} // namespace

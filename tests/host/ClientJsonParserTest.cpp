// The quick reader of the busiest requests takes a document only when the thorough reader
// (ClientJsonReader) reads it the same way; everything else, with its limits and refusals, is
// left to the thorough reader.
#include "json/ClientJsonParser.h"
#include "json/ClientJsonReader.h"
#include "json/CoreJson.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

std::string Nested(std::size_t depth, const std::string& inner) {
    return std::string(depth, '[') + inner + std::string(depth, ']');
}

// What the thorough reader makes of a body: the member's names, or nothing.
std::optional<std::vector<std::string>> ThoroughNames(const std::string& body) {
    std::string reason;
    const auto document = ClientJsonReader::Read(body, reason);
    if (!document || !document->is_object() || !document->contains("items") ||
        !(*document)["items"].is_array()) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const auto& item : (*document)["items"]) {
        if (!item.is_string()) {
            return std::nullopt;
        }
        names.push_back(item.get<std::string>());
    }
    return names;
}

std::optional<std::vector<std::pair<std::string, Value>>> ThoroughItems(const std::string& body) {
    std::string reason;
    const auto document = ClientJsonReader::Read(body, reason);
    if (!document || !document->is_object() || !document->contains("values") ||
        !(*document)["values"].is_object()) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, Value>> items;
    for (const auto& [name, value] : (*document)["values"].items()) {
        items.emplace_back(name, CoreJson::ToValue(value));
    }
    return items;
}

struct Case {
    std::string body;
    bool quick; // taken by the quick reader
};

TEST(ClientJsonParser, TakesItemNamesOnlyAsTheThoroughReaderReadsThem) {
    const Case cases[] = {
        {R"({"items":["A","B.C[1]","\u00e9\n\"","\ud83d\ude00"]})", true},
        {R"( {"other":{"a":[1,{"b":2}]},"items":[]} )", true},
        {R"({"items":[]})", true},
        {"{\"items\":" + Nested(63, "\"x\"") + "}", false}, // not strings
        {"{\"x\":" + Nested(63, "1") + ",\"items\":[]}", true},
        {"{\"x\":" + Nested(64, "1") + ",\"items\":[]}", false}, // 65 levels
        {"{\"x\":" + Nested(2000, "1") + ",\"items\":[]}", false},
        {R"({"items":["A"],"items":["B"]})", false},
        {R"({"x":[{"a":1,"b":2,"a":3}],"items":["A"]})", false},
        {R"({"x":{"a":1,"\u0061":2},"items":["A"]})", false},
        {R"({"items":["A",1]})", false},
        {R"({"items":"A"})", false},
        {R"(["A"])", false},
        {R"({"item":["A"]})", false},
        {R"({"items":["A"]} x)", false},
        {R"({"items":["A"],})", false},
        {R"({"items":["\ud800"]})", false}, // a lone surrogate
        {R"({"items":["\udc00"]})", false},
        {"{\"items\":[\"\xFF\"]}", false},
        {"{\"items\":[\"a\tb\"]}", false}, // a raw control character
        {R"({"items":["A"],"n":1e400})", false},
        {R"({"items":["A"],"n":123456789012345678901234567890})", false},
        {"\xEF\xBB\xBF{\"items\":[\"A\"]}", false},
        {"", false},
        {"{\"items\":[\"" + std::string(100000, 'x'), false},
        {"{\"items\":[\"" + std::string(100000, 'x') + "\"]}", true},
        {"{\"items\":[\"" + std::string(200000, 'x') + "\"]}", false}, // past the quick size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 80));
        std::vector<std::string> names{"before"};
        const bool quick = ClientJsonParser::ItemNames(c.body, names);
        const auto thorough = ThoroughNames(c.body);
        if (quick) {
            ASSERT_TRUE(thorough);
            EXPECT_EQ(names, *thorough);
        } else {
            EXPECT_EQ(names, std::vector<std::string>{"before"});
        }
        // Documents the quick reader leaves alone may still be fine for the thorough one
        // (a big number, a byte order mark); the table says which it takes.
        EXPECT_EQ(quick, c.quick);
    }
}

TEST(ClientJsonParser, TakesWrittenValuesWithTheirKindsAndOrder) {
    const Case cases[] = {
        {R"({"values":{"z":1,"B":[true,null],"a":{"y":2.5,"x":"t"}}})", true},
        {R"({"values":{"I":-5,"U":18446744073709551615,"S":9223372036854775807}})", true},
        {R"({"values":{"Min":-9223372036854775808,"R":1e2,"F":0.1,"E":-2.5e-3}})", true},
        {R"({"values":{}})", true},
        {R"({"values":{"Z":-0}})", false}, // a signed zero: the thorough reader's way
        {R"({"values":{"A":1,"A":2}})", false},
        {R"({"values":{"A":1e400}})", false},
        {R"({"values":{"A":-92233720368547758080}})", false},
        {R"({"values":[1]})", false},
        {R"({"values":{"A":1})", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        std::vector<std::pair<std::string, Value>> items;
        const bool quick = ClientJsonParser::WriteItems(c.body, items);
        EXPECT_EQ(quick, c.quick);
        if (quick) {
            const auto thorough = ThoroughItems(c.body);
            ASSERT_TRUE(thorough);
            EXPECT_EQ(items, *thorough);
        }
    }
}

TEST(ClientJsonParser, TakesOnlySubscriptionMessagesRightInEveryMember) {
    struct MessageCase {
        std::string text;
        bool quick;
        std::string id; // the id as the document prints it
    };
    const MessageCase cases[] = {
        {R"({"subscribe":["A","B"],"intervalMs":250,"deadband":0.5,"id":7})", true, "7"},
        {R"({"id":"x","unsubscribe":[]})", true, "\"x\""},
        {R"({"subscribe":[],"id":null,"deadband":2})", true, "null"},
        {R"({"subscribe":["A"],"id":-1.5,"intervalMs":18446744073709551615})", true, "-1.5"},
        {R"({"subscribe":["A"],"id":-0})", false, ""}, // a signed zero
        {R"({"subscribe":["A"],"id":[1]})", false, ""},
        {R"({"subscribe":["A"],"intervalMs":1.0})", false, ""},
        {R"({"subscribe":["A"],"intervalMs":-1})", false, ""},
        {R"({"subscribe":["A"],"deadband":-0.1})", false, ""},
        {R"({"subscribe":["A"],"deadband":"1"})", false, ""},
        {R"({"unsubscribe":["A"],"intervalMs":5})", false, ""},
        {R"({"subscribe":["A"],"unsubscribe":["A"]})", false, ""},
        {R"({"subscribe":["A"],"subscribe":["B"]})", false, ""},
        {R"({"subscribe":["A",1]})", false, ""},
        {R"({"subscribe":["A","B","C"]})", false, ""}, // more than the most names
        {R"({"subscribe":["A"],"other":1})", false, ""},
        {R"({"id":1})", false, ""},
        {"[]", false, ""},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.text);
        ClientJsonParser::Subscription message;
        const bool quick = ClientJsonParser::SubscriptionMessage(c.text, 2, message);
        EXPECT_EQ(quick, c.quick);
        if (quick) {
            std::string reason;
            const auto thorough = ClientJsonReader::Read(c.text, reason);
            ASSERT_TRUE(thorough);
            EXPECT_EQ(message.id.dump(), c.id);
            const bool subscribe = thorough->contains("subscribe");
            EXPECT_EQ(message.subscribe, subscribe);
            EXPECT_EQ(message.names, (*thorough)[subscribe ? "subscribe" : "unsubscribe"]
                                         .get<std::vector<std::string>>());
        }
    }
}

TEST(ClientJsonParser, TakesAStampText) {
    std::string stamp;
    EXPECT_TRUE(ClientJsonParser::StampText(R"({"stamp":"S-1","x":[]})", stamp));
    EXPECT_EQ(stamp, "S-1");
    for (const char* body : {R"({"stamp":1})", R"({"stamp":"a","stamp":"b"})", "{", "[]"}) {
        EXPECT_FALSE(ClientJsonParser::StampText(body, stamp)) << body;
    }
}

} // namespace

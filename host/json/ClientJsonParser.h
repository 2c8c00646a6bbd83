#pragma once

#include "values/Value.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reads the documents of the busiest requests without a document tree: a fast validating
// parser, then the few members the request needs. A document is taken only when
// ClientJsonReader would read it the same way: well-formed, at most ClientJsonReader::kMaxDepth
// arrays and objects deep, no name twice in one object, of the expected shape. Anything else
// (false) is left to ClientJsonReader and the endpoint's own checks, which give the reason.
class ClientJsonParser {
public:
    // The names of {"items": ["NAME", ...], ...}.
    static bool ItemNames(std::string_view body, std::vector<std::string>& names);
    // The names and values of {"values": {"NAME": value, ...}, ...}, in the order sent.
    static bool WriteItems(std::string_view body,
                           std::vector<std::pair<std::string, Value>>& items);
    // The text of {"stamp": "TEXT", ...}.
    static bool StampText(std::string_view body, std::string& stamp);

    // A subscription's message with every member right: "subscribe" or "unsubscribe" with at
    // most maxNames names, and for a subscribe "intervalMs" (a whole number) and "deadband"
    // (a finite number, 0 or more), each optional; "id" any value but an array or object.
    struct Subscription {
        bool subscribe = false;
        std::vector<std::string> names;
        std::optional<std::uint64_t> intervalMs;
        std::optional<double> deadband;
        nlohmann::json id; // null when none was sent
    };
    static bool SubscriptionMessage(std::string_view text, std::size_t maxNames,
                                    Subscription& message);
};

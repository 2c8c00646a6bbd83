#pragma once

#include "core/Subscription.h"
#include "service/HttpRequest.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a subscriber asks over a stream: a message of the WebSocket protocol
// ({"subscribe": [names], "intervalMs": N, "deadband": D} or {"unsubscribe": [names]}, each
// with an optional "id" echoed in its answer), or the parameters of an event stream
// (item=A&item=B&intervalMs=N&deadband=D). Also makes the answers the client reads.
class SubscribeMessage {
public:
    enum class Kind { Invalid, Subscribe, Unsubscribe };

    static constexpr std::size_t kMaxNames = 10000;

    // Reads one message; Kind::Invalid with the reason (and the id, when one could be read)
    // when it is malformed.
    static SubscribeMessage Parse(std::string_view text);
    // Reads the parameters of an event stream; Kind::Invalid with the reason when malformed.
    static SubscribeMessage FromQuery(const HttpRequest& request);

    // {"subscribed": [...], "intervalMs": N, "note"?} or {"error": reason}, with the id.
    nlohmann::json Answer(const SubscribeAnswer& answer) const;
    // {"unsubscribed": [names that were monitored]}, with the id.
    nlohmann::json Unsubscribed(const std::vector<std::string>& names) const;
    // {"error": reason}, with the id.
    nlohmann::json Error(const std::string& reason) const;

    Kind kind = Kind::Invalid;
    std::string reason;       // when Invalid
    SubscribeRequest request; // names, and for a subscribe the interval and deadband
    nlohmann::json id;        // null when none was sent

private:
    static bool ReadNames(const nlohmann::ordered_json& list, const char* member,
                          std::vector<std::string>& names, std::string& reason);
    static bool ReadInterval(const nlohmann::ordered_json& value, SubscribeRequest& request,
                             std::string& reason);
    static bool ReadIntervalText(const std::string& text, SubscribeRequest& request,
                                 std::string& reason);
    static bool ReadDeadbandText(const std::string& text, SubscribeRequest& request,
                                 std::string& reason);
    void ReadMembers(const nlohmann::ordered_json& body);
    nlohmann::json WithId(nlohmann::json answer) const;
};

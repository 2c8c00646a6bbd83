#include "service/SubscribeMessage.h"

#include "text/HostText.h"
#include "json/ClientJsonParser.h"
#include "json/ClientJsonReader.h"

#include <charconv>
#include <cmath>
#include <set>

namespace {

// Longer intervals are lowered to the sampler's maximum anyway; this only keeps the number
// within a duration's range.
constexpr std::uint64_t kIntervalCap = 1000000000;

// access_token: the read token, for a browser's stream, which cannot send a header.
const std::set<std::string, std::less<>> kQueryParams = {"item", "intervalMs", "deadband",
                                                         "access_token"};

} // namespace

SubscribeMessage SubscribeMessage::Parse(std::string_view text) {
    SubscribeMessage message;
    ClientJsonParser::Subscription quick;
    if (ClientJsonParser::SubscriptionMessage(text, kMaxNames, quick)) {
        message.kind = quick.subscribe ? Kind::Subscribe : Kind::Unsubscribe;
        message.request.names = std::move(quick.names);
        if (quick.intervalMs) {
            message.request.interval =
                std::chrono::milliseconds(std::min(*quick.intervalMs, kIntervalCap));
        }
        message.request.deadband = quick.deadband.value_or(0.0);
        message.id = std::move(quick.id);
        return message;
    }
    std::optional<nlohmann::ordered_json> body = ClientJsonReader::Read(text, message.reason);
    if (!body) {
        // The reader speaks of a request's body; here it is a message.
        const std::string_view body_word = "the body";
        if (message.reason.starts_with(body_word)) {
            message.reason.replace(0, body_word.size(), "the message");
        }
        return message;
    }
    if (!body->is_object()) {
        message.reason = "a message is a JSON object: {\"subscribe\": [names]} or "
                         "{\"unsubscribe\": [names]}";
        return message;
    }
    message.ReadMembers(*body);
    if (message.kind == Kind::Invalid) {
        message.request = {};
    }
    return message;
}

void SubscribeMessage::ReadMembers(const nlohmann::ordered_json& body) {
    if (const auto found = body.find("id"); found != body.end()) {
        if (found->is_structured()) {
            reason = "\"id\" must be a string, number, boolean or null";
            return;
        }
        id = *found;
    }
    const bool subscribe = body.contains("subscribe");
    const bool unsubscribe = body.contains("unsubscribe");
    if (subscribe == unsubscribe) {
        reason = subscribe ? "a message either subscribes or unsubscribes, not both"
                           : "a message needs \"subscribe\" or \"unsubscribe\" with a list of "
                             "names";
        return;
    }
    for (const auto& [name, value] : body.items()) {
        if (name == "id" || name == "subscribe" || name == "unsubscribe") {
            continue;
        }
        if (unsubscribe || (name != "intervalMs" && name != "deadband")) {
            reason = "unknown member " + QuotedClientText(name) +
                     (unsubscribe ? " in an unsubscribe message"
                                  : "; a subscribe message takes \"intervalMs\" and \"deadband\"");
            return;
        }
        if (name == "intervalMs" && !ReadInterval(value, request, reason)) {
            return;
        }
        if (name == "deadband") {
            if (!value.is_number() || !std::isfinite(value.get<double>()) ||
                value.get<double>() < 0) {
                reason = "\"deadband\" must be a number of 0 or more";
                return;
            }
            request.deadband = value.get<double>();
        }
    }
    const char* member = subscribe ? "subscribe" : "unsubscribe";
    if (ReadNames(body.at(member), member, request.names, reason)) {
        kind = subscribe ? Kind::Subscribe : Kind::Unsubscribe;
    }
}

bool SubscribeMessage::ReadNames(const nlohmann::ordered_json& list, const char* member,
                                 std::vector<std::string>& names, std::string& reason) {
    const std::string quoted = std::string("\"") + member + "\"";
    if (!list.is_array()) {
        reason = quoted + " must be a list of names";
        return false;
    }
    if (list.size() > kMaxNames) {
        reason = quoted + " names at most " + std::to_string(kMaxNames) + " items";
        return false;
    }
    for (const nlohmann::ordered_json& name : list) {
        if (!name.is_string()) {
            reason = "every entry of " + quoted + " must be a string";
            return false;
        }
        names.push_back(name.get<std::string>());
    }
    return true;
}

bool SubscribeMessage::ReadInterval(const nlohmann::ordered_json& value, SubscribeRequest& request,
                                    std::string& reason) {
    if (value.is_number_unsigned()) {
        const std::uint64_t milliseconds = std::min(value.get<std::uint64_t>(), kIntervalCap);
        request.interval = std::chrono::milliseconds(milliseconds);
        return true;
    }
    reason = "\"intervalMs\" must be a whole number of milliseconds, 0 or more";
    return false;
}

bool SubscribeMessage::ReadIntervalText(const std::string& text, SubscribeRequest& request,
                                        std::string& reason) {
    std::uint64_t milliseconds = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, milliseconds);
    if (text.empty() || stop != end ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        reason = "intervalMs must be a whole number of milliseconds, 0 or more, not " +
                 QuotedClientText(text);
        return false;
    }
    if (error == std::errc::result_out_of_range) {
        milliseconds = kIntervalCap;
    }
    request.interval = std::chrono::milliseconds(std::min(milliseconds, kIntervalCap));
    return true;
}

bool SubscribeMessage::ReadDeadbandText(const std::string& text, SubscribeRequest& request,
                                        std::string& reason) {
    double deadband = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, deadband);
    if (text.empty() || stop != end || error != std::errc() || !std::isfinite(deadband) ||
        deadband < 0) {
        reason = "deadband must be a number of 0 or more, not " + QuotedClientText(text);
        return false;
    }
    request.deadband = deadband;
    return true;
}

SubscribeMessage SubscribeMessage::FromQuery(const HttpRequest& request) {
    SubscribeMessage message;
    for (const auto& [key, value] : request.params) {
        if (kQueryParams.count(key) == 0) {
            message.reason = "unknown parameter " + QuotedClientText(key) +
                             "; an event stream takes item, intervalMs and deadband";
            return message;
        }
    }
    for (const char* single : {"intervalMs", "deadband"}) {
        if (request.params.count(single) > 1) {
            message.reason = std::string(single) + " is given more than once";
            return message;
        }
    }
    SubscribeRequest& asked = message.request;
    asked.names = request.Params("item");
    if (asked.names.size() > kMaxNames) {
        message.reason = "at most " + std::to_string(kMaxNames) + " items per stream";
        return message;
    }
    const bool read = (!request.HasParam("intervalMs") ||
                       ReadIntervalText(request.Param("intervalMs"), asked, message.reason)) &&
                      (!request.HasParam("deadband") ||
                       ReadDeadbandText(request.Param("deadband"), asked, message.reason));
    message.kind = read ? Kind::Subscribe : Kind::Invalid;
    return message;
}

nlohmann::json SubscribeMessage::WithId(nlohmann::json answer) const {
    if (!id.is_null()) {
        answer["id"] = id;
    }
    return answer;
}

nlohmann::json SubscribeMessage::Answer(const SubscribeAnswer& answer) const {
    if (!answer.Ok()) {
        return Error(answer.error);
    }
    nlohmann::json json = {{"subscribed", answer.subscribed},
                           {"intervalMs", answer.interval.count()}};
    if (!answer.note.empty()) {
        json["note"] = answer.note;
    }
    return WithId(std::move(json));
}

nlohmann::json SubscribeMessage::Unsubscribed(const std::vector<std::string>& names) const {
    return WithId({{"unsubscribed", names}});
}

nlohmann::json SubscribeMessage::Error(const std::string& reason) const {
    return WithId({{"error", reason}});
}

#include "json/ClientJsonParser.h"

#include "json/ClientJsonReader.h"

#include <simdjson.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

// True when no object below `value` gives a name twice and nothing nests deeper than the
// reader allows; `depth` counts the arrays and objects around `value`.
bool WithinLimits(element value, std::size_t depth) {
    const element_type type = value.type();
    if (type != element_type::ARRAY && type != element_type::OBJECT) {
        return true;
    }
    if (depth + 1 > ClientJsonReader::kMaxDepth) {
        return false;
    }
    if (type == element_type::ARRAY) {
        const simdjson::dom::array array = value.get_array().value_unsafe();
        for (const element child : array) {
            if (!WithinLimits(child, depth + 1)) {
                return false;
            }
        }
        return true;
    }
    const simdjson::dom::object object = value.get_object().value_unsafe();
    std::vector<std::string_view> names;
    names.reserve(object.size());
    for (const simdjson::dom::key_value_pair member : object) {
        if (!WithinLimits(member.value, depth + 1)) {
            return false;
        }
        names.push_back(member.key);
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) == names.end();
}

// The largest body read here. The parser keeps its buffers, a few times the largest document
// it read, for the thread's life; a larger body (rare: 10,000 names take less) is left to the
// thorough reader.
constexpr std::size_t kMaxBody = std::size_t{128} * 1024;

// The body as an object, checked; nothing when it is not one or fails a check. The element
// lives in this thread's parser until its next document.
std::optional<simdjson::dom::object> ReadObject(std::string_view body) {
    thread_local simdjson::dom::parser parser(kMaxBody);
    element root;
    if (parser.parse(body.data(), body.size()).get(root) != simdjson::SUCCESS ||
        root.type() != element_type::OBJECT || !WithinLimits(root, 0)) {
        return std::nullopt;
    }
    const simdjson::dom::object object = root.get_object().value_unsafe();
    return object;
}

// A value as CoreJson::ToValue makes it of the reader's document: a non-negative integer is
// unsigned, a negative one signed.
Value ToValue(element value) {
    switch (value.type()) {
    case element_type::BOOL:
        return value.get_bool().value_unsafe();
    case element_type::INT64: {
        const std::int64_t number = value.get_int64().value_unsafe();
        return number < 0 ? Value(number) : Value(static_cast<std::uint64_t>(number));
    }
    case element_type::UINT64:
        return value.get_uint64().value_unsafe();
    case element_type::DOUBLE:
        return value.get_double().value_unsafe();
    case element_type::STRING:
        return std::string(value.get_string().value_unsafe());
    case element_type::ARRAY: {
        const simdjson::dom::array array = value.get_array().value_unsafe();
        Value::List list;
        list.reserve(array.size());
        for (const element child : array) {
            list.push_back(ToValue(child));
        }
        return list;
    }
    case element_type::OBJECT: {
        const simdjson::dom::object object = value.get_object().value_unsafe();
        Value::Members members;
        members.reserve(object.size());
        for (const simdjson::dom::key_value_pair member : object) {
            members.emplace_back(std::string(member.key), ToValue(member.value));
        }
        return members;
    }
    case element_type::NULL_VALUE:
        break;
    }
    return {};
}

// The strings of an array of at most `most` strings.
bool Names(element list, std::size_t most, std::vector<std::string>& names) {
    simdjson::dom::array array;
    if (list.get(array) != simdjson::SUCCESS || array.size() > most) {
        return false;
    }
    names.reserve(array.size());
    for (const element item : array) {
        std::string_view name;
        if (item.get(name) != simdjson::SUCCESS) {
            return false;
        }
        names.emplace_back(name);
    }
    return true;
}

// A scalar as the reader's document holds it; nothing for an array or object.
std::optional<nlohmann::json> Scalar(element value) {
    switch (value.type()) {
    case element_type::ARRAY:
    case element_type::OBJECT:
        return std::nullopt;
    case element_type::NULL_VALUE:
        return nlohmann::json();
    default:
        break;
    }
    const Value read = ToValue(value);
    if (read.IsBool()) {
        return read.AsBool();
    }
    if (read.IsSigned()) {
        return read.AsSigned();
    }
    if (read.IsUnsigned()) {
        return read.AsUnsigned();
    }
    if (read.IsReal()) {
        return read.AsReal();
    }
    return read.AsText();
}

// One member of a subscription's message into `message`; false when it is not right.
bool SubscriptionMember(std::string_view name, element value, std::size_t maxNames,
                        ClientJsonParser::Subscription& message, int& lists) {
    if (name == "id") {
        std::optional<nlohmann::json> id = Scalar(value);
        message.id = id ? std::move(*id) : nlohmann::json();
        return id.has_value();
    }
    if (name == "subscribe" || name == "unsubscribe") {
        message.subscribe = name == "subscribe";
        ++lists;
        return Names(value, maxNames, message.names);
    }
    if (name == "intervalMs") {
        const Value interval = ToValue(value);
        message.intervalMs = interval.IsUnsigned() ? interval.AsUnsigned() : 0;
        return interval.IsUnsigned();
    }
    if (name == "deadband") {
        const Value deadband = ToValue(value);
        message.deadband = deadband.IsNumber() ? deadband.AsDouble() : -1.0;
        return std::isfinite(*message.deadband) && *message.deadband >= 0;
    }
    return false;
}

} // namespace

bool ClientJsonParser::SubscriptionMessage(std::string_view text, std::size_t maxNames,
                                           Subscription& message) {
    if (text.find("-0") != std::string_view::npos) { // a signed zero: the reader's way
        return false;
    }
    const std::optional<simdjson::dom::object> object = ReadObject(text);
    if (!object) {
        return false;
    }
    Subscription read;
    int lists = 0;
    for (const simdjson::dom::key_value_pair member : *object) {
        if (!SubscriptionMember(member.key, member.value, maxNames, read, lists)) {
            return false;
        }
    }
    const bool options = read.intervalMs || read.deadband;
    if (lists != 1 || (!read.subscribe && options)) {
        return false;
    }
    message = std::move(read);
    return true;
}

bool ClientJsonParser::ItemNames(std::string_view body, std::vector<std::string>& names) {
    const std::optional<simdjson::dom::object> object = ReadObject(body);
    simdjson::dom::array items;
    if (!object || (*object)["items"].get(items) != simdjson::SUCCESS) {
        return false;
    }
    std::vector<std::string> read;
    read.reserve(items.size());
    for (const element item : items) {
        std::string_view name;
        if (item.get(name) != simdjson::SUCCESS) {
            return false;
        }
        read.emplace_back(name);
    }
    names = std::move(read);
    return true;
}

bool ClientJsonParser::WriteItems(std::string_view body,
                                  std::vector<std::pair<std::string, Value>>& items) {
    // The parser reads "-0" as the integer 0, the reader as a signed 0: such a body takes the
    // reader's way.
    if (body.find("-0") != std::string_view::npos) {
        return false;
    }
    const std::optional<simdjson::dom::object> object = ReadObject(body);
    simdjson::dom::object values;
    if (!object || (*object)["values"].get(values) != simdjson::SUCCESS) {
        return false;
    }
    std::vector<std::pair<std::string, Value>> read;
    read.reserve(values.size());
    for (const simdjson::dom::key_value_pair member : values) {
        read.emplace_back(std::string(member.key), ToValue(member.value));
    }
    items = std::move(read);
    return true;
}

bool ClientJsonParser::StampText(std::string_view body, std::string& stamp) {
    const std::optional<simdjson::dom::object> object = ReadObject(body);
    std::string_view text;
    if (!object || (*object)["stamp"].get(text) != simdjson::SUCCESS) {
        return false;
    }
    stamp = text;
    return true;
}

#include "json/CoreJson.h"

#include "text/HostText.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace {

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void AddText(const char* key, const std::optional<std::string>& text, nlohmann::json& result) {
    if (text) {
        result[key] = *text;
    }
}

} // namespace

namespace CoreJson {

std::string Text(const nlohmann::json& document, int indent) {
    return document.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json FromValue(const Value& value) {
    if (value.IsBool()) {
        return value.AsBool();
    }
    if (value.IsSigned()) {
        return value.AsSigned();
    }
    if (value.IsUnsigned()) {
        return value.AsUnsigned();
    }
    if (value.IsReal()) {
        return value.AsReal();
    }
    if (value.IsText()) {
        return value.AsText();
    }
    if (value.IsList()) {
        nlohmann::json list = nlohmann::json::array();
        for (const Value& element : value.AsList()) {
            list.push_back(FromValue(element));
        }
        return list;
    }
    if (value.IsMembers()) {
        nlohmann::json members = nlohmann::json::object();
        for (const auto& [name, member] : value.AsMembers()) {
            members[name] = FromValue(member);
        }
        return members;
    }
    return nullptr;
}

namespace {

template <typename Json> Value ToValueOf(const Json& value) {
    if (value.is_boolean()) {
        return value.template get<bool>();
    }
    if (value.is_number_unsigned()) {
        return value.template get<std::uint64_t>();
    }
    if (value.is_number_integer()) {
        return value.template get<std::int64_t>();
    }
    if (value.is_number_float()) {
        return value.template get<double>();
    }
    if (value.is_string()) {
        return value.template get<std::string>();
    }
    if (value.is_array()) {
        Value::List list;
        for (const Json& element : value) {
            list.push_back(ToValueOf(element));
        }
        return list;
    }
    if (value.is_object()) {
        Value::Members members;
        for (const auto& [name, member] : value.items()) {
            members.emplace_back(name, ToValueOf(member));
        }
        return members;
    }
    return {};
}

} // namespace

Value ToValue(const nlohmann::json& value) {
    return ToValueOf(value);
}

Value ToValue(const nlohmann::ordered_json& value) {
    return ToValueOf(value);
}

nlohmann::json Resolved(const ResolvedItem& item) {
    nlohmann::json json{{"name", item.name}, {"resolved", item.Resolved()}};
    if (!item.Resolved()) {
        json["reason"] = item.reason;
        return json;
    }
    const PhysicalPlace& place = item.place;
    json["address"] = item.address;
    json["block"] = place.block;
    json["offset"] = place.offset;
    json["size"] = place.size;
    json["bit"] = place.bit ? nlohmann::json(*place.bit) : nlohmann::json();
    json["typeCode"] = Hex(place.typeCode);
    json["accessKind"] = place.accessKind;
    json["areaKind"] = place.areaKind;
    json["subOffset"] = place.subOffset;
    json["subSize"] = place.subSize;
    json["elementIndex"] = place.elementIndex;
    json["stampSum"] = place.stampSum;
    json["attribute"] = place.attribute;
    AddText("typeName", item.typeName, json);
    AddText("kind", item.kind, json);
    AddText("info", item.info, json);
    json["comment"] = item.comment;
    return json;
}

nlohmann::json Error(const ValueResult& result) {
    if (result.Ok()) {
        return nullptr;
    }
    return ShortClientText(result.faultPath.empty() ? result.name : result.faultPath) + ": " +
           result.reason;
}

nlohmann::json ValueRead(const ValueResult& result) {
    nlohmann::json json{{"name", result.name},
                        {"value", result.value ? FromValue(*result.value) : nlohmann::json()},
                        {"type", result.type ? nlohmann::json(*result.type) : nlohmann::json()},
                        {"error", Error(result)}};
    if (result.Ok() && !result.milliseconds.IsNull()) {
        json["milliseconds"] = FromValue(result.milliseconds);
    }
    return json;
}

std::string IsoTime(std::chrono::system_clock::time_point time) {
    const auto milliseconds =
        std::chrono::floor<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(milliseconds / 1000);
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03dZ", static_cast<int>(milliseconds % 1000));
    return std::string(text, length) + fraction;
}

nlohmann::json Change(const SampledChange& change) {
    nlohmann::json json = ValueRead(change.result);
    json["time"] = IsoTime(change.time);
    return json;
}

nlohmann::json Changes(const ChangeBatch& batch) {
    nlohmann::json values = nlohmann::json::array();
    for (const SampledChange& change : batch.changes) {
        values.push_back(Change(change));
    }
    return {{"values", std::move(values)}, {"merged", batch.merged}};
}

namespace {

// A JSON string as Text writes it: plain printable ASCII as is, anything else through the
// JSON library, so that escapes and replaced UTF-8 stay the same.
void AppendString(std::string& out, const std::string& text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') {
            out += Text(nlohmann::json(text), -1);
            return;
        }
    }
    out += '"';
    out += text;
    out += '"';
}

void AppendInteger(std::string& out, auto number) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, end);
}

void AppendValue(std::string& out, const Value& value) {
    if (value.IsBool()) {
        out += value.AsBool() ? "true" : "false";
    } else if (value.IsSigned()) {
        AppendInteger(out, value.AsSigned());
    } else if (value.IsUnsigned()) {
        AppendInteger(out, value.AsUnsigned());
    } else if (value.IsText()) {
        AppendString(out, value.AsText());
    } else {
        out += Text(FromValue(value), -1); // reals, lists, members, null
    }
}

} // namespace

std::string ChangesText(const ChangeBatch& batch) {
    std::string out = "{\"merged\":";
    AppendInteger(out, batch.merged);
    out += ",\"values\":[";
    std::chrono::system_clock::time_point lastTime;
    std::string timeText;
    for (std::size_t i = 0; i < batch.changes.size(); ++i) {
        const SampledChange& change = batch.changes[i];
        const ValueResult& result = change.result;
        if (timeText.empty() || change.time != lastTime) {
            lastTime = change.time;
            timeText = IsoTime(change.time);
        }
        out += i == 0 ? "{\"error\":" : ",{\"error\":";
        if (result.Ok()) {
            out += "null";
        } else {
            AppendString(out, Error(result).get<std::string>());
        }
        if (result.Ok() && !result.milliseconds.IsNull()) {
            out += ",\"milliseconds\":";
            AppendValue(out, result.milliseconds);
        }
        out += ",\"name\":";
        AppendString(out, result.name);
        out += ",\"time\":\"" + timeText + "\",\"type\":";
        if (result.type) {
            AppendString(out, *result.type);
        } else {
            out += "null";
        }
        out += ",\"value\":";
        if (result.value) {
            AppendValue(out, *result.value);
        } else {
            out += "null";
        }
        out += '}';
    }
    out += "]}";
    return out;
}

nlohmann::json ValueWritten(const ValueResult& result) {
    return {{"name", result.name},
            {"type", result.type ? nlohmann::json(*result.type) : nlohmann::json()},
            {"error", Error(result)}};
}

nlohmann::json Children(const std::vector<BrowsedChild>& children) {
    nlohmann::json list = nlohmann::json::array();
    for (const BrowsedChild& child : children) {
        list.push_back({{"name", child.name},
                        {"itemId", child.itemId},
                        {"path", child.path},
                        {"hasChildren", child.hasChildren}});
    }
    return list;
}

nlohmann::json Info(const DictionaryInfo& info, const std::string& file) {
    return {{"file", file},
            {"dictionary", info.dictionary},
            {"project", info.project},
            {"variables", info.counts.variables},
            {"structures", info.counts.structures},
            {"functionBlocks", info.counts.functionBlocks},
            {"arrays", info.counts.arrays},
            {"members", info.counts.members},
            {"words", info.counts.words},
            {"bits", info.counts.bits},
            {"inputBytes", info.inputBytes},
            {"outputBytes", info.outputBytes},
            {"inputSlotBytes", info.inputSlotBytes},
            {"outputSlotBytes", info.outputSlotBytes},
            {"memorySlotBytes", info.memorySlotBytes},
            {"stamp", info.stamp}};
}

} // namespace CoreJson

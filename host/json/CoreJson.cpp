#include "json/CoreJson.h"

#include "text/HostText.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

// "0x" and eight upper-case hexadecimal digits.
std::string Hex(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text = "0x00000000";
    for (std::size_t i = text.size() - 1; value != 0; --i, value >>= 4) {
        text[i] = kDigits[value & 0x0F];
    }
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

// The error's text, or null.
void WriteError(JsonWriter& out, const ValueResult& result) {
    if (result.Ok()) {
        out.Null();
    } else {
        out.String(Error(result).get_ref<const std::string&>());
    }
}

void WriteOptional(JsonWriter& out, const std::optional<std::string>& text) {
    if (text) {
        out.String(*text);
    } else {
        out.Null();
    }
}

// ValueRead's members, with "time" (between "name" and "type") for a change.
void WriteValueFields(JsonWriter& out, const ValueResult& result, const std::string* time) {
    out.BeginObject().Key("error");
    WriteError(out, result);
    if (result.Ok() && !result.milliseconds.IsNull()) {
        out.Key("milliseconds");
        WriteValue(out, result.milliseconds);
    }
    out.Key("name").String(result.name);
    if (time != nullptr) {
        out.Key("time").String(*time);
    }
    out.Key("type");
    WriteOptional(out, result.type);
    out.Key("value");
    if (result.value) {
        WriteValue(out, *result.value);
    } else {
        out.Null();
    }
    out.EndObject();
}

// Members as a document object holds them: sorted by name, the last of a repeated name kept.
void WriteMembers(JsonWriter& out, const Value::Members& members) {
    std::vector<const std::pair<std::string, Value>*> sorted;
    sorted.reserve(members.size());
    for (const auto& member : members) {
        sorted.push_back(&member);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const auto* a, const auto* b) { return a->first < b->first; });
    out.BeginObject();
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i + 1 < sorted.size() && sorted[i + 1]->first == sorted[i]->first) {
            continue;
        }
        out.Key(sorted[i]->first);
        WriteValue(out, sorted[i]->second);
    }
    out.EndObject();
}

} // namespace

void WriteValue(JsonWriter& out, const Value& value) {
    if (value.IsBool()) {
        out.Bool(value.AsBool());
    } else if (value.IsSigned()) {
        out.Signed(value.AsSigned());
    } else if (value.IsUnsigned()) {
        out.Unsigned(value.AsUnsigned());
    } else if (value.IsReal()) {
        out.Real(value.AsReal());
    } else if (value.IsText()) {
        out.String(value.AsText());
    } else if (value.IsList()) {
        out.BeginArray();
        for (const Value& element : value.AsList()) {
            WriteValue(out, element);
        }
        out.EndArray();
    } else if (value.IsMembers()) {
        WriteMembers(out, value.AsMembers());
    } else {
        out.Null();
    }
}

} // namespace CoreJson

namespace {

// "0x" and eight upper-case hexadecimal digits, at `at`.
char* PutHex(char* at, std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    *at++ = '0';
    *at++ = 'x';
    for (int shift = 28; shift >= 0; shift -= 4) {
        *at++ = kDigits[(value >> shift) & 0x0F];
    }
    return at;
}

// An optional text member: key and text when present.
template <std::size_t N>
char* PutOptional(char* at, const char (&key)[N], const std::optional<std::string>& text) {
    if (text) {
        at = JsonWriter::PutPlainString(JsonWriter::PutLiteral(at, key), *text);
    }
    return at;
}

// A resolved item whose texts need no escape, written in place in one piece: the same bytes
// as WriteResolved's members one by one. False (nothing written) for any other item.
bool WriteResolvedPlain(JsonWriter& out, const ResolvedItem& item) {
    // The members' names and punctuation (about 250 bytes), and 20 digits for each of the
    // eleven numbers.
    constexpr std::size_t kFixed = 320 + 11 * 20;
    std::size_t size = kFixed;
    for (const std::string* text : {&item.address, &item.comment, &item.name}) {
        if (!JsonWriter::IsPlain(*text)) {
            return false;
        }
        size += text->size() + 2;
    }
    for (const std::optional<std::string>* text : {&item.info, &item.kind, &item.typeName}) {
        if (*text && !JsonWriter::IsPlain(**text)) {
            return false;
        }
        size += *text ? (*text)->size() + 2 : 0;
    }
    if (size > JsonWriter::kMaxDirect) {
        return false;
    }
    const PhysicalPlace& place = item.place;
    out.Direct(size, [&](char* at) {
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, "{\"accessKind\":"),
                                     place.accessKind);
        at = JsonWriter::PutPlainString(JsonWriter::PutLiteral(at, ",\"address\":"), item.address);
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"areaKind\":"), place.areaKind);
        at =
            JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"attribute\":"), place.attribute);
        at = JsonWriter::PutLiteral(at, ",\"bit\":");
        at = place.bit ? JsonWriter::PutUnsigned(at, *place.bit)
                       : JsonWriter::PutLiteral(at, "null");
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"block\":"), place.block);
        at = JsonWriter::PutPlainString(JsonWriter::PutLiteral(at, ",\"comment\":"), item.comment);
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"elementIndex\":"),
                                     place.elementIndex);
        at = PutOptional(at, ",\"info\":", item.info);
        at = PutOptional(at, ",\"kind\":", item.kind);
        at = JsonWriter::PutPlainString(JsonWriter::PutLiteral(at, ",\"name\":"), item.name);
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"offset\":"), place.offset);
        at = JsonWriter::PutLiteral(at, ",\"resolved\":true,\"size\":");
        at = JsonWriter::PutUnsigned(at, place.size);
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"stampSum\":"), place.stampSum);
        at =
            JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"subOffset\":"), place.subOffset);
        at = JsonWriter::PutUnsigned(JsonWriter::PutLiteral(at, ",\"subSize\":"), place.subSize);
        at = PutHex(JsonWriter::PutLiteral(at, ",\"typeCode\":\""), place.typeCode);
        *at++ = '"';
        at = PutOptional(at, ",\"typeName\":", item.typeName);
        *at++ = '}';
        return at;
    });
    return true;
}

} // namespace

namespace CoreJson {

void WriteResolved(JsonWriter& out, const ResolvedItem& item,
                   const std::optional<std::optional<std::string>>& declaredType) {
    if (item.Resolved() && !declaredType && WriteResolvedPlain(out, item)) {
        return;
    }
    out.BeginObject();
    if (!item.Resolved()) {
        out.Key("name").String(item.name);
        out.Key("reason").String(item.reason);
        out.Key("resolved").Bool(false);
        out.EndObject();
        return;
    }
    const PhysicalPlace& place = item.place;
    out.Key("accessKind").Unsigned(place.accessKind);
    out.Key("address").String(item.address);
    out.Key("areaKind").Unsigned(place.areaKind);
    out.Key("attribute").Unsigned(place.attribute);
    out.Key("bit");
    if (place.bit) {
        out.Unsigned(*place.bit);
    } else {
        out.Null();
    }
    out.Key("block").Unsigned(place.block);
    out.Key("comment").String(item.comment);
    if (declaredType) {
        out.Key("declaredType");
        WriteOptional(out, *declaredType);
    }
    out.Key("elementIndex").Unsigned(place.elementIndex);
    if (item.info) {
        out.Key("info").String(*item.info);
    }
    if (item.kind) {
        out.Key("kind").String(*item.kind);
    }
    out.Key("name").String(item.name);
    out.Key("offset").Unsigned(place.offset);
    out.Key("resolved").Bool(true);
    out.Key("size").Unsigned(place.size);
    out.Key("stampSum").Unsigned(place.stampSum);
    out.Key("subOffset").Unsigned(place.subOffset);
    out.Key("subSize").Unsigned(place.subSize);
    out.Key("typeCode").String(Hex(place.typeCode));
    if (item.typeName) {
        out.Key("typeName").String(*item.typeName);
    }
    out.EndObject();
}

void WriteValueRead(JsonWriter& out, const ValueResult& result) {
    WriteValueFields(out, result, nullptr);
}

void WriteValueWritten(JsonWriter& out, const ValueResult& result) {
    out.BeginObject().Key("error");
    WriteError(out, result);
    out.Key("name").String(result.name);
    out.Key("type");
    WriteOptional(out, result.type);
    out.EndObject();
}

void WriteChild(JsonWriter& out, const BrowsedChild& child, const ChildColumns& columns) {
    out.BeginObject();
    if (columns.address) {
        out.Key("address").String(*columns.address);
    }
    if (columns.comment) {
        out.Key("comment").String(*columns.comment);
    }
    out.Key("hasChildren").Bool(child.hasChildren);
    out.Key("itemId").String(child.itemId);
    out.Key("name").String(child.name);
    out.Key("path").String(child.path);
    if (columns.type) {
        out.Key("type");
        WriteOptional(out, *columns.type);
    }
    out.EndObject();
}

std::string ChangesText(const ChangeBatch& batch) {
    std::string text;
    JsonWriter out(text);
    out.BeginObject().Key("merged").Unsigned(batch.merged).Key("values").BeginArray();
    std::chrono::system_clock::time_point lastTime;
    std::string timeText;
    for (const SampledChange& change : batch.changes) {
        if (timeText.empty() || change.time != lastTime) {
            lastTime = change.time;
            timeText = IsoTime(change.time);
        }
        WriteValueFields(out, change.result, &timeText);
    }
    out.EndArray().EndObject();
    return text;
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

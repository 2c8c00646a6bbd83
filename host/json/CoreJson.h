#pragma once

#include "core/Browsing.h"
#include "core/ChangeQueue.h"
#include "core/DictionaryInfo.h"
#include "core/ResolvedItem.h"
#include "core/ValueAccess.h"
#include "values/Value.h"
#include "json/JsonWriter.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The JSON of the core's results, as the command line's --json output and the HTTP API both
// send them (the API tests compare the two).
namespace CoreJson {

// A document as text: bad UTF-8 replaced, indented by `indent` (-1: on one line).
std::string Text(const nlohmann::json& document, int indent = 2);

nlohmann::json FromValue(const Value& value);
// A value a client sent: numbers, booleans and strings; arrays and objects kept so that the
// codec names them in its refusal.
Value ToValue(const nlohmann::json& value);
// The same for a document as ClientJsonReader reads it, its members in the order sent.
Value ToValue(const nlohmann::ordered_json& value);

// {"name", "resolved", "reason"} or the record's fields, type, kind, info and comment.
nlohmann::json Resolved(const ResolvedItem& item);
// {"name", "value", "type", "error"}, and "milliseconds" for a duration.
nlohmann::json ValueRead(const ValueResult& result);
// {"name", "type", "error"}.
nlohmann::json ValueWritten(const ValueResult& result);
// "NAME: reason", or "LEAF: reason" for a fault below the name; null when there is none.
nlohmann::json Error(const ValueResult& result);
// A time as UTC ISO 8601 with milliseconds: "2026-12-06T19:22:01.123Z".
std::string IsoTime(std::chrono::system_clock::time_point time);
// One change of a subscription: ValueRead's fields and "time", when it was sampled.
nlohmann::json Change(const SampledChange& change);
// {"values": [changes...], "merged": N}, as every front end sends a subscription's changes.
nlohmann::json Changes(const ChangeBatch& batch);
// Text(Changes(batch), -1), byte for byte, written directly: a subscription sends many changes
// to many clients, and a document tree per change would cost more than the sampling.
std::string ChangesText(const ChangeBatch& batch);
// The same documents written directly, byte for byte as Text(document, -1) prints them: the
// service's busiest answers (resolve, values, browse) are made without a document tree.
void WriteValue(JsonWriter& out, const Value& value);
// Resolved(item), with "declaredType" when given (null for a type the program does not name).
void WriteResolved(JsonWriter& out, const ResolvedItem& item,
                   const std::optional<std::optional<std::string>>& declaredType = std::nullopt);
void WriteValueRead(JsonWriter& out, const ValueResult& result);
void WriteValueWritten(JsonWriter& out, const ValueResult& result);
// The columns a browse may add to a child, each when asked for.
struct ChildColumns {
    std::optional<std::string> address;
    std::optional<std::string> comment;
    std::optional<std::optional<std::string>> type;
};
// One element of Children, with its columns.
void WriteChild(JsonWriter& out, const BrowsedChild& child, const ChildColumns& columns);

// [{"name", "itemId", "path", "hasChildren"}].
nlohmann::json Children(const std::vector<BrowsedChild>& children);
// What `varbank info` shows, for the file it was read from.
nlohmann::json Info(const DictionaryInfo& info, const std::string& file);

} // namespace CoreJson

#include "service/DictionaryEndpoints.h"

#include "core/StagingDirectory.h"
#include "core/ValueAccess.h"
#include "service/BrowseQuery.h"
#include "text/HostText.h"
#include "json/ClientJsonParser.h"
#include "json/ClientJsonReader.h"
#include "json/CoreJson.h"
#include "json/JsonWriter.h"
#include "json/PlcJson.h"

#include <filesystem>
#include <fstream>
#include <sstream>

DictionaryEndpoints::DictionaryEndpoints(const ServedProgram& served, const Program& program,
                                         bool writable)
    : m_Served(served), m_Program(program), m_Writable(writable) {}

ApiReply DictionaryEndpoints::Info() const {
    // The file's name only: where it lies on the server is no client's business.
    nlohmann::json info =
        CoreJson::Info(m_Program.Info(), std::filesystem::path(m_Program.Path()).filename());
    info["name"] = m_Served.Name();
    const std::string error = m_Served.Error();
    info["error"] = error.empty() ? nlohmann::json() : nlohmann::json(error);
    info["memory"] = m_Program.Memory() == MemoryKind::Modbus ? "modbus" : "image";
    info["plc"] = nullptr;
    if (const auto& plc = m_Program.Plc()) {
        info["plc"] = PlcJson::Endpoint(*plc);
        info["plc"]["target"] = plc->Target().Text();
        info["plc"]["answering"] = plc->Answering();
        info["plc"]["waiting"] = plc->Queue().Waiting();
    }
    info["writable"] = m_Writable;
    return ApiReply::Json(std::move(info));
}

bool DictionaryEndpoints::BodyObject(const HttpRequest& request, nlohmann::ordered_json& body,
                                     std::string& reason) {
    std::optional<nlohmann::ordered_json> read = ClientJsonReader::Read(request.body, reason);
    if (!read) {
        return false;
    }
    if (!read->is_object()) {
        reason = "the body is not a JSON object";
        return false;
    }
    body = std::move(*read);
    return true;
}

bool DictionaryEndpoints::ItemNames(const HttpRequest& request, std::vector<std::string>& names,
                                    std::string& reason) {
    if (request.method != "POST") {
        names = request.Params("item");
    } else if (!ClientJsonParser::ItemNames(request.body, names)) {
        nlohmann::ordered_json body;
        if (!BodyObject(request, body, reason)) {
            return false;
        }
        const auto items = body.find("items");
        if (items == body.end() || !items->is_array()) {
            reason = "the body has no \"items\" array";
            return false;
        }
        for (const nlohmann::ordered_json& item : *items) {
            if (!item.is_string()) {
                reason = "every entry of \"items\" must be a string";
                return false;
            }
            names.push_back(item.get<std::string>());
        }
    }
    if (names.size() > kMaxItems) {
        reason = "at most " + std::to_string(kMaxItems) + " items per request";
        return false;
    }
    return true;
}

ApiReply DictionaryEndpoints::Resolve(const HttpRequest& request) const {
    std::vector<std::string> names;
    std::string reason;
    if (!ItemNames(request, names, reason)) {
        return ApiReply::Error(400, reason);
    }
    // declaredTypes=1 adds each leaf's type as the program writes it, for clients that map
    // types themselves (the OPC UA front).
    const std::vector<std::string> declared = request.Params("declaredTypes");
    const bool withDeclared =
        !declared.empty() && (declared.back() == "1" || declared.back() == "true");
    std::string text;
    text.reserve(names.size() * 384); // about 330 bytes a resolved name
    JsonWriter out(text);
    out.BeginObject().Key("results").BeginArray();
    m_Program.Prefetch(names);
    for (const std::string& name : names) {
        const ResolvedItem item = m_Program.Resolve(name);
        std::optional<std::optional<std::string>> declaredType;
        if (withDeclared && item.Resolved()) {
            declaredType = m_Program.DeclaredType(name);
        }
        CoreJson::WriteResolved(out, item, declaredType);
    }
    out.EndArray().EndObject();
    return ApiReply::JsonText(std::move(text));
}

ApiReply DictionaryEndpoints::Browse(const HttpRequest& request) const {
    BrowseQuery query;
    std::string reason;
    if (!query.Parse(request, reason)) {
        return ApiReply::Error(400, reason);
    }
    return Browse(query);
}

ApiReply DictionaryEndpoints::Browse(const BrowseQuery& query) const {
    const BrowsedPage page = m_Program.Browse(query.browse, query.continuation);
    if (page.fault == BrowseFault::BadPath) {
        return ApiReply::Error(400, "path: " + page.Reason());
    }
    if (page.fault == BrowseFault::BadContinuation) {
        return ApiReply::Error(400, "continuation: " + page.Reason());
    }
    if (page.fault == BrowseFault::NotComposite) {
        return ApiReply::Error(404, QuotedClientText(query.browse.path) + " is " +
                                        BrowseFaultText(page.fault, page.status));
    }
    if (page.Failed()) {
        return ApiReply::Error(500, "the dictionary refused the browse");
    }
    std::string text;
    JsonWriter out(text);
    out.BeginObject().Key("children").BeginArray();
    for (const BrowsedChild& child : page.children) {
        CoreJson::WriteChild(out, child, Columns(child, query));
    }
    out.EndArray().Key("continuation");
    if (page.continuation.empty()) {
        out.Null();
    } else {
        out.String(page.continuation);
    }
    out.Key("path").String(query.browse.path).EndObject();
    return ApiReply::JsonText(std::move(text));
}

// The address, comment and type of a child the query asks for, as resolving its path gives
// them (a function-block instance, which cannot be resolved whole, has none).
CoreJson::ChildColumns DictionaryEndpoints::Columns(const BrowsedChild& child,
                                                    const BrowseQuery& query) const {
    CoreJson::ChildColumns columns;
    if (!query.address && !query.comment && !query.type) {
        return columns;
    }
    ResolvedItem item = m_Program.Resolve(child.path);
    if (query.address) {
        columns.address = std::move(item.address);
    }
    if (query.comment) {
        columns.comment = std::move(item.comment);
    }
    if (query.type) {
        columns.type = std::move(item.typeName);
    }
    return columns;
}

ApiReply DictionaryEndpoints::Stamp() const {
    return ApiReply::Json({{"stamp", m_Program.Stamp()}});
}

ApiReply DictionaryEndpoints::CompareStamp(const HttpRequest& request) const {
    std::string stamp;
    if (!ClientJsonParser::StampText(request.body, stamp)) {
        nlohmann::ordered_json body;
        std::string reason;
        if (!BodyObject(request, body, reason)) {
            return ApiReply::Error(400, reason);
        }
        const auto member = body.find("stamp");
        if (member != body.end() && member->is_string()) {
            stamp = member->get<std::string>();
        }
    }
    const auto record = ParseStampText(stamp);
    if (!record) {
        return ApiReply::Error(400, "\"stamp\" must be a stamp text such as \"" +
                                        m_Program.Stamp() + "\"");
    }
    return ApiReply::Json({{"result", StampMatchName(m_Program.CompareStamp(*record))}});
}

ApiReply DictionaryEndpoints::Dump() const {
    std::error_code error;
    const std::string temporary = std::filesystem::temp_directory_path(error).string();
    const StagingDirectory staging(error ? "/tmp" : temporary);
    if (staging.Path().empty()) {
        return ApiReply::Error(500, "cannot create a folder for the dump: " + staging.Reason());
    }
    std::string reason;
    if (!m_Program.WriteDump(staging.Path(), reason)) {
        return ApiReply::Error(500, reason);
    }
    std::ifstream file(staging.Path() + "/" + m_Program.DumpFileName(), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) {
        return ApiReply::Error(500, "cannot read the dump back");
    }
    return ApiReply::Text(text.str(), "text/plain; charset=utf-8");
}

ApiReply DictionaryEndpoints::ReadValues(const HttpRequest& request) const {
    bool tooMany = false;
    return ReadValues(request, ValueAccess::kMaxLeaves, tooMany);
}

ApiReply DictionaryEndpoints::ReadValues(const HttpRequest& request, std::size_t maxLeaves,
                                         bool& tooMany) const {
    std::vector<std::string> names;
    std::string reason;
    if (!ItemNames(request, names, reason)) {
        return ApiReply::Error(400, reason);
    }
    const std::vector<ValueResult> results = m_Program.Values().ReadMany(names, maxLeaves);
    // A read past the bound on values is refused whole, before anything was read.
    tooMany = !results.empty() && results.front().fault == ValueFault::TooManyLeaves;
    if (tooMany) {
        return ApiReply::Error(413, results.front().reason);
    }
    std::string text;
    text.reserve(results.size() * 80);
    JsonWriter out(text);
    out.BeginObject().Key("values").BeginArray();
    for (const ValueResult& result : results) {
        CoreJson::WriteValueRead(out, result);
    }
    out.EndArray().EndObject();
    return ApiReply::JsonText(std::move(text));
}

// The names and values of a write's body; false with the reason when it is malformed.
bool DictionaryEndpoints::WriteItems(const HttpRequest& request,
                                     std::vector<std::pair<std::string, Value>>& items,
                                     std::string& reason) {
    if (!ClientJsonParser::WriteItems(request.body, items)) {
        nlohmann::ordered_json body;
        if (!BodyObject(request, body, reason)) {
            return false;
        }
        const auto values = body.find("values");
        if (values == body.end() || !values->is_object()) {
            reason = "the body has no \"values\" object of names and values";
            return false;
        }
        for (const auto& [name, value] : values->items()) {
            items.emplace_back(name, CoreJson::ToValue(value));
        }
    }
    if (items.size() > kMaxItems) {
        reason = "at most " + std::to_string(kMaxItems) + " items per request";
        return false;
    }
    return true;
}

ApiReply DictionaryEndpoints::WriteValues(const HttpRequest& request) const {
    std::vector<std::pair<std::string, Value>> items;
    std::string reason;
    if (!WriteItems(request, items, reason)) {
        return ApiReply::Error(400, reason);
    }
    const WriteOutcome outcome = m_Program.Values().Write(items);
    std::string text;
    JsonWriter out(text);
    out.BeginObject().Key("values").BeginArray();
    for (const ValueResult& result : outcome.results) {
        CoreJson::WriteValueWritten(out, result);
    }
    out.EndArray().Key("written").Bool(outcome.Complete()).EndObject();
    return ApiReply::JsonText(std::move(text));
}

bool DictionaryEndpoints::Small(const HttpRequest& request) {
    return request.method == "GET" ? request.Params("item").size() <= kQuickItems
                                   : request.body.size() <= kQuickBody;
}

std::optional<ApiReply> DictionaryEndpoints::QuickResolve(const HttpRequest& request) const {
    return Small(request) ? std::optional(Resolve(request)) : std::nullopt;
}

// A page of at most kQuickPage children, unfiltered: a filter (pattern, type, kind) may pass
// over any number of children before it fills a page.
std::optional<ApiReply> DictionaryEndpoints::QuickBrowse(const HttpRequest& request) const {
    BrowseQuery query;
    std::string reason;
    if (!query.Parse(request, reason)) {
        return ApiReply::Error(400, reason);
    }
    const BrowseOptions& browse = query.browse;
    const bool quick = browse.pageSize <= kQuickPage && browse.pattern == "*" &&
                       browse.varType == 0 && browse.kind == BrowseKind::All;
    return quick ? std::optional(Browse(query)) : std::nullopt;
}

std::optional<ApiReply> DictionaryEndpoints::QuickReadValues(const HttpRequest& request) const {
    if (!Small(request)) {
        return std::nullopt;
    }
    bool tooMany = false;
    ApiReply reply = ReadValues(request, kQuickLeaves, tooMany);
    return tooMany ? std::nullopt : std::optional(std::move(reply));
}

std::optional<ApiReply> DictionaryEndpoints::QuickWriteValues(const HttpRequest& request) const {
    return Small(request) ? std::optional(WriteValues(request)) : std::nullopt;
}

#pragma once

#include "core/Program.h"
#include "service/ApiReply.h"
#include "service/BrowseQuery.h"
#include "service/HttpRequest.h"
#include "service/ServedProgram.h"
#include "json/CoreJson.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The requests on one dictionary: info, resolve, browse, stamp, stamp comparison, dump and
// values. Each runs on the program in service when it started, to the end.
class DictionaryEndpoints {
public:
    static constexpr std::size_t kMaxItems = 10000;

    DictionaryEndpoints(const ServedProgram& served, const Program& program, bool writable);

    ApiReply Info() const;
    ApiReply Resolve(const HttpRequest& request) const;
    ApiReply Browse(const HttpRequest& request) const;
    ApiReply Stamp() const;
    ApiReply CompareStamp(const HttpRequest& request) const;
    ApiReply Dump() const;
    // {"values": [{"name", "value", "type", "error"}]}, one per item, read in one batch.
    ApiReply ReadValues(const HttpRequest& request) const;
    // {"values": {"NAME": value, ...}}: every item checked first; written only when all pass.
    // {"values": [{"name", "type", "error"}], "written": true|false}, in the order sent.
    ApiReply WriteValues(const HttpRequest& request) const;

    // The answer when it costs little enough to be made on a connection thread (a few names,
    // a small page of all children, a small read or write); nothing when it may cost more: then
    // it is made on a worker with the full bounds.
    std::optional<ApiReply> QuickResolve(const HttpRequest& request) const;
    std::optional<ApiReply> QuickBrowse(const HttpRequest& request) const;
    std::optional<ApiReply> QuickReadValues(const HttpRequest& request) const;
    std::optional<ApiReply> QuickWriteValues(const HttpRequest& request) const;

    // The item names of a request: every `item` parameter of a GET, or the "items" array of
    // a POST body. False with the reason (a 400) when the request is malformed.
    static bool ItemNames(const HttpRequest& request, std::vector<std::string>& names,
                          std::string& reason);
    // The body as a JSON object, its members in the order sent; false with the reason when it
    // is not one, nests too deep or gives a name twice in one object.
    static bool BodyObject(const HttpRequest& request, nlohmann::ordered_json& body,
                           std::string& reason);

private:
    static constexpr std::size_t kQuickItems = 64;    // names of a quick resolve
    static constexpr std::size_t kQuickBody = 4096;   // bytes of a quick POST or PUT
    static constexpr std::size_t kQuickLeaves = 1000; // values of a quick read
    static constexpr std::uint32_t kQuickPage = 100;  // children of a quick browse

    static bool Small(const HttpRequest& request);
    ApiReply Browse(const BrowseQuery& query) const;
    ApiReply ReadValues(const HttpRequest& request, std::size_t maxLeaves, bool& tooMany) const;
    CoreJson::ChildColumns Columns(const BrowsedChild& child, const BrowseQuery& query) const;
    static bool WriteItems(const HttpRequest& request,
                           std::vector<std::pair<std::string, Value>>& items, std::string& reason);

    const ServedProgram& m_Served;
    const Program& m_Program;
    bool m_Writable;
};

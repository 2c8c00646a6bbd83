#pragma once

#include "service/ApiReply.h"
#include "service/ServedProgram.h"

#include "service/HttpRequest.h"

#include <string>
#include <vector>

// The requests on one dictionary: info, resolve, browse, stamp, stamp comparison and dump.
// Each runs on the dictionary in service when it started, to the end.
class DictionaryEndpoints {
public:
    static constexpr std::size_t kMaxItems = 10000;

    DictionaryEndpoints(const ServedProgram& program, const ServedProgram::Loaded& loaded,
                        bool writable);

    ApiReply Info() const;
    ApiReply Resolve(const HttpRequest& request) const;
    ApiReply Browse(const HttpRequest& request) const;
    ApiReply Stamp() const;
    ApiReply CompareStamp(const HttpRequest& request) const;
    ApiReply Dump() const;
    // {"values": [{"name", "value", "type", "error"}]}, one per item, read in one batch.
    ApiReply ReadValues(const HttpRequest& request) const;
    // {"values": {"NAME": value, ...}}: each item written whole or not at all; one result per
    // item, {"name", "type", "error"}.
    ApiReply WriteValues(const HttpRequest& request) const;

    // The item names of a request: every `item` parameter of a GET, or the "items" array of
    // a POST body. False with the reason (a 400) when the request is malformed.
    static bool ItemNames(const HttpRequest& request, std::vector<std::string>& names,
                          std::string& reason);
    // The body as a JSON object; false with the reason when it is not one.
    static bool BodyObject(const HttpRequest& request, nlohmann::json& body, std::string& reason);

private:
    HostSession& Session() const { return *m_Loaded.session; }
    void AddColumns(nlohmann::json& children, bool address, bool comment) const;

    const ServedProgram& m_Program;
    const ServedProgram::Loaded& m_Loaded;
    bool m_Writable;
};

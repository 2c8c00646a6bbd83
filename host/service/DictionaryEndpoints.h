#pragma once

#include "core/Program.h"
#include "service/ApiReply.h"
#include "service/HttpRequest.h"
#include "service/ServedProgram.h"

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

    // The item names of a request: every `item` parameter of a GET, or the "items" array of
    // a POST body. False with the reason (a 400) when the request is malformed.
    static bool ItemNames(const HttpRequest& request, std::vector<std::string>& names,
                          std::string& reason);
    // The body as a JSON object, its members in the order sent; false with the reason when it
    // is not one, nests too deep or gives a name twice in one object.
    static bool BodyObject(const HttpRequest& request, nlohmann::ordered_json& body,
                           std::string& reason);

private:
    void AddColumns(nlohmann::json& children, bool address, bool comment) const;

    const ServedProgram& m_Served;
    const Program& m_Program;
    bool m_Writable;
};

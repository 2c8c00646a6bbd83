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

    DictionaryEndpoints(const ServedProgram& program, const ServedProgram::Loaded& loaded);

    ApiReply Info() const;
    ApiReply Resolve(const HttpRequest& request) const;
    ApiReply Browse(const HttpRequest& request) const;
    ApiReply Stamp() const;
    ApiReply CompareStamp(const HttpRequest& request) const;
    ApiReply Dump() const;

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
};

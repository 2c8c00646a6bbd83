#pragma once

#include "service/ApiReply.h"
#include "service/HttpRequest.h"
#include "service/ProgramRegistry.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

class DictionaryEndpoints;

// Routes a request through one table of paths: the dictionary listing, the requests on one
// dictionary, the health check; any other path outside /api is the browser page. Answers 404
// for an unknown path and 405, with Allow, for a method the path does not take. A write is
// checked against the write policy before its endpoint sees it.
class ServiceApi {
public:
    // Writes are refused unless the service was started writable; then a write request needs
    // the token, when one is set, as "Authorization: Bearer <token>".
    struct WritePolicy {
        bool writable = false;
        std::string token;
    };

    // One row of the table: a path pattern ("{name}" stands for a dictionary name), a method,
    // what answers it (the service, or the named dictionary's endpoints), whether it writes.
    struct Route {
        std::string_view pattern;
        std::string_view method;
        ApiReply (*service)(const ServiceApi& api, const HttpRequest& request);
        ApiReply (*dictionary)(const DictionaryEndpoints& endpoints, const HttpRequest& request);
        bool writes = false;
    };

    ServiceApi(ProgramRegistry& registry, WritePolicy writes);

    ApiReply Handle(const HttpRequest& request) const;
    static std::span<const Route> Routes();

private:
    ApiReply Dispatch(const Route& route, const HttpRequest& request,
                      const std::string& name) const;
    ApiReply Listing() const;
    ApiReply Health() const;
    static ApiReply Page(const HttpRequest& request);
    // Null when the request may write; else the refusal (403 or 401).
    std::optional<ApiReply> RefuseWrite(const HttpRequest& request) const;

    ProgramRegistry& m_Registry;
    WritePolicy m_Writes;
};

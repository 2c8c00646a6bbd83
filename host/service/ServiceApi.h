#pragma once

#include "service/ApiReply.h"
#include "service/ProgramRegistry.h"

#include "service/HttpRequest.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Routes a request to its endpoint: the dictionary listing, the requests on one dictionary,
// the health check and the browser page. Answers 404 for an unknown path and 405 for a method
// the path does not take.
class ServiceApi {
public:
    // Writes are refused unless the service was started writable; then a write request needs
    // the token, when one is set, as "Authorization: Bearer <token>".
    struct WritePolicy {
        bool writable = false;
        std::string token;
    };

    ServiceApi(ProgramRegistry& registry, WritePolicy writes);

    ApiReply Handle(const HttpRequest& request) const;

private:
    ApiReply Route(const HttpRequest& request, const std::vector<std::string>& parts) const;
    ApiReply Listing() const;
    ApiReply Health() const;
    ApiReply OnDictionary(const HttpRequest& request, const std::string& name,
                          std::string_view tail) const;
    static ApiReply Page(const HttpRequest& request);

    // Null when the request may write; else the refusal (403 or 401).
    std::optional<ApiReply> RefuseWrite(const HttpRequest& request) const;

    ProgramRegistry& m_Registry;
    WritePolicy m_Writes;
};

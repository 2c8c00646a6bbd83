#pragma once

#include "service/ApiReply.h"
#include "service/ProgramRegistry.h"

#include "service/HttpRequest.h"

#include <string>
#include <string_view>
#include <vector>

// Routes a request to its endpoint: the dictionary listing, the requests on one dictionary,
// the health check and the browser page. Answers 404 for an unknown path and 405 for a method
// the path does not take.
class ServiceApi {
public:
    explicit ServiceApi(ProgramRegistry& registry);

    ApiReply Handle(const HttpRequest& request) const;

private:
    ApiReply Route(const HttpRequest& request, const std::vector<std::string>& parts) const;
    ApiReply Listing() const;
    ApiReply Health() const;
    ApiReply OnDictionary(const HttpRequest& request, const std::string& name,
                          std::string_view tail) const;
    static ApiReply Page(const HttpRequest& request);

    ProgramRegistry& m_Registry;
};

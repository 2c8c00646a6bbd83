#pragma once

#include "service/ApiReply.h"
#include "service/ProgramRegistry.h"

#include <httplib.h>

#include <string>
#include <string_view>
#include <vector>

// Routes a request to its endpoint: the dictionary listing, the requests on one dictionary,
// the health check and the browser page. Answers 404 for an unknown path and 405 for a method
// the path does not take.
class ServiceApi {
public:
    explicit ServiceApi(ProgramRegistry& registry);

    void Handle(const httplib::Request& request, httplib::Response& response) const;
    // Sends a reply; an error reply's body is {"error": reason}.
    static void Send(const ApiReply& reply, httplib::Response& response);

private:
    ApiReply Route(const httplib::Request& request, const std::vector<std::string>& parts,
                   httplib::Response& response) const;
    ApiReply Listing() const;
    ApiReply Health() const;
    ApiReply OnDictionary(const httplib::Request& request, const std::string& name,
                          std::string_view tail, httplib::Response& response) const;
    static ApiReply Page(const httplib::Request& request, httplib::Response& response);

    ProgramRegistry& m_Registry;
};

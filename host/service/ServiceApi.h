#pragma once

#include "service/ApiReply.h"
#include "service/HttpRequest.h"
#include "service/ProgramRegistry.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class DictionaryEndpoints;
class WorkQueue;

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

    // Where a request runs: on the caller's thread (light, bounded by a few names), on the
    // service's workers (heavy: it may list or read thousands of names), or on the PLC's own
    // worker when its values live in a PLC (else as heavy). A heavy request that turns out
    // small (its quick answer) is still answered on the caller's thread, sparing the hand-over.
    // A connection thread never waits on a PLC nor spends long on one request.
    enum class Work { Light, Heavy, Plc };

    // One row of the table: a path pattern ("{name}" stands for a dictionary name), a method,
    // what answers it (the service, or the named dictionary's endpoints), whether it writes,
    // where it runs, and its quick answer (nothing when the request may cost more).
    struct Route {
        std::string_view pattern;
        std::string_view method;
        ApiReply (*service)(const ServiceApi& api, const HttpRequest& request);
        ApiReply (*dictionary)(const DictionaryEndpoints& endpoints, const HttpRequest& request);
        bool writes = false;
        Work work = Work::Light;
        std::optional<ApiReply> (*quick)(const DictionaryEndpoints& endpoints,
                                         const HttpRequest& request) = nullptr;
    };

    // Requests that may wait for the service's workers; past it, 503.
    static constexpr std::size_t kWaitingRequests = 256;

    // Receives the answer: at once, or later from a PLC's worker thread.
    using Completion = std::function<void(ApiReply)>;

    ServiceApi(ProgramRegistry& registry, WritePolicy writes, unsigned workers = 2);
    ~ServiceApi();
    ServiceApi(const ServiceApi&) = delete;
    ServiceApi& operator=(const ServiceApi&) = delete;

    // Answers on the calling thread when the route is light; else `done` is called from a
    // worker once the answer is made (or at once with 503 when too many requests wait).
    void Handle(const HttpRequest& request, const Completion& done) const;
    // Answers on the calling thread, whatever it waits on (tests, tools).
    ApiReply Handle(const HttpRequest& request) const;
    static std::span<const Route> Routes();

private:
    // The route and dictionary name of a request; the refusal when none takes it.
    const Route* Find(const HttpRequest& request, std::string& name, ApiReply& refusal) const;
    void Dispatch(const Route& route, const HttpRequest& request, const std::string& name,
                  bool queue, const Completion& done) const;
    static ApiReply Answer(const Route& route, const ServedProgram& served, const Program& program,
                           const HttpRequest& request, bool writable);
    ApiReply Listing() const;
    ApiReply Health() const;
    static ApiReply Page(const HttpRequest& request);
    // Null when the request may write; else the refusal (403 or 401).
    std::optional<ApiReply> RefuseWrite(const HttpRequest& request) const;

    ProgramRegistry& m_Registry;
    WritePolicy m_Writes;
    std::unique_ptr<WorkQueue> m_Work; // the service's workers for heavy requests
};

#pragma once

#include "service/ApiReply.h"
#include "service/HttpRequest.h"
#include "service/ProgramRegistry.h"
#include "service/ServiceMetrics.h"

#include "core/Subscription.h"

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

class DictionaryEndpoints;
class MqttPublisher;
class WorkQueue;

// Routes a request through one table of paths: the dictionary listing, the requests on one
// dictionary, the health check; any other path outside /api is the browser page. Answers 404
// for an unknown path and 405, with Allow, for a method the path does not take. A write is
// checked against the write policy before its endpoint sees it.
class ServiceApi {
public:
    // Where a request runs: on the caller's thread (light, bounded by a few names), on the
    // service's workers (heavy: it may list or read thousands of names), or on the PLC's own
    // worker when its values live in a PLC (else as heavy). A heavy request that turns out
    // small (its quick answer) is still answered on the caller's thread, sparing the hand-over.
    // A connection thread never waits on a PLC nor spends long on one request.
    enum class Work { Light, Heavy, Plc };
    // A request that turns its connection into a stream of a subscription's changes: a
    // WebSocket (its upgrade) or server-sent events. The HTTP front serves it itself, after
    // OpenSubscription; the route's own answer is for a request that cannot be one (426).
    enum class Stream { None, WebSocket, Events };

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
        Stream stream = Stream::None;
    };

    // Requests that may wait for the service's workers; past it, 503.
    static constexpr std::size_t kWaitingRequests = 256;
    // Subscriptions (streams) held at once over the whole service, unless set otherwise.
    static constexpr std::size_t kMaxSubscriptions = 1000;

    // Receives the answer: at once, or later from a PLC's worker thread.
    using Completion = std::function<void(ApiReply)>;

    // Writes follow each dictionary's write policy. With a read token, every request of the
    // API must carry it (or a write token of the dictionary it names) as "Authorization:
    // Bearer <token>"; the page's files and the health check need none.
    explicit ServiceApi(ProgramRegistry& registry, std::string readToken = {}, unsigned workers = 2,
                        std::size_t maxSubscriptions = kMaxSubscriptions);
    ~ServiceApi();
    ServiceApi(const ServiceApi&) = delete;
    ServiceApi& operator=(const ServiceApi&) = delete;

    // Answers on the calling thread when the route is light; else `done` is called from a
    // worker once the answer is made (or at once with 503 when too many requests wait).
    void Handle(const HttpRequest& request, const Completion& done) const;
    // Answers on the calling thread, whatever it waits on (tests, tools).
    ApiReply Handle(const HttpRequest& request) const;
    static std::span<const Route> Routes();

    // The stream a request opens by its path and method (None for any other request).
    Stream StreamOf(const HttpRequest& request) const;
    // A new subscription, with nothing monitored yet, on the dictionary the request names;
    // notify as Subscription::Open takes it. Null with the refusal when the dictionary is
    // unknown (404) or not in service (503), or the service holds its limit of subscriptions
    // (503). The subscription counts toward the limit until the last holder drops it.
    std::shared_ptr<Subscription> OpenSubscription(const HttpRequest& request,
                                                   Subscription::Notify notify,
                                                   ApiReply& refusal) const;
    std::size_t Subscriptions() const { return m_Subscriptions->held; }
    // The service's request and connection counts, which the HTTP front keeps. Shared: a
    // connection may end on a worker after the service (see HttpSession).
    const std::shared_ptr<ServiceMetrics>& Metrics() const { return m_Metrics; }
    // The MQTT publisher whose state the listing and the metrics show; set before the service
    // answers its first request, cleared after its last (null: none).
    void SetPublisher(const MqttPublisher* publisher) { m_Publisher = publisher; }
    // The metrics' row of a request: its route's index in Routes(), PageRow() for the page,
    // OtherRow() for a request no route takes.
    std::size_t RowOf(const HttpRequest& request) const;
    static std::size_t PageRow() { return Routes().size(); }
    static std::size_t OtherRow() { return Routes().size() + 1; }
    // Runs a heavy job of a front end (a stream's subscribe) on the service's workers; false
    // when their queue is full.
    bool RunOnWorkers(std::function<void()> job) const;

private:
    // The route and dictionary name of a request; the refusal when none takes it.
    const Route* Find(const HttpRequest& request, std::string& name, ApiReply& refusal) const;
    void Dispatch(const Route& route, const HttpRequest& request, const std::string& name,
                  bool queue, const Completion& done) const;
    static ApiReply Answer(const Route& route, const ServedProgram& served, const Program& program,
                           const HttpRequest& request);
    ApiReply Listing() const;
    ApiReply Health() const;
    ApiReply MetricsReply() const;
    static ApiReply Page(const HttpRequest& request);
    // Null when the request may write; else the refusal (403 or 401).
    static std::optional<ApiReply> RefuseWrite(const HttpRequest& request,
                                               const WritePolicy& writes);
    // Null when the request may read (the dictionary it names, if any); else 401. A stream
    // may carry the token as ?access_token= too: a browser cannot give its WebSocket or event
    // source a header.
    std::optional<ApiReply> RefuseRead(const HttpRequest& request, const ServedProgram* served,
                                       bool stream = false) const;

    ProgramRegistry& m_Registry;
    std::string m_ReadToken;
    std::unique_ptr<WorkQueue> m_Work; // the service's workers for heavy requests
    // The subscriptions held; shared with each one, which gives its place back when it ends.
    struct SubscriptionCount {
        std::atomic<std::size_t> held{0};
        std::size_t limit = 0;
    };
    std::shared_ptr<SubscriptionCount> m_Subscriptions;
    std::shared_ptr<ServiceMetrics> m_Metrics;
    const MqttPublisher* m_Publisher = nullptr;
};

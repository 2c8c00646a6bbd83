#include "service/ServiceApi.h"

#include "mqtt/MqttPublisher.h"
#include "service/DictionaryEndpoints.h"
#include "service/MetricsPage.h"
#include "service/PageAssets.h"
#include "service/PrometheusText.h"
#include "text/HostText.h"
#include "values/WorkQueue.h"
#include "json/MqttJson.h"
#include "json/PlcJson.h"

#include <array>
#include <filesystem>

namespace {

// A 405 naming the methods the path takes.
ApiReply WrongMethod(const std::string& allowed) {
    ApiReply reply = ApiReply::Error(405, "this path takes " + allowed);
    reply.headers.emplace_back("Allow", allowed);
    return reply;
}

// Compares a secret in a time that does not depend on where the texts differ.
bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned difference = given.size() == expected.size() ? 0U : 1U;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const char c = i < given.size() ? given[i] : '\0';
        difference |= static_cast<unsigned char>(c ^ expected[i]);
    }
    return difference == 0;
}

// True when the path's segments fit the pattern's, segment for segment; the non-empty segment
// at "{name}" is the name. Segments are compared decoded, so "%2F" inside a name never makes
// two segments of one.
bool Matches(std::string_view pattern, const std::vector<std::string>& segments,
             std::string& name) {
    std::size_t start = 1; // after the leading slash
    for (std::size_t i = 0; i < segments.size(); ++i) {
        const std::size_t slash = std::min(pattern.find('/', start), pattern.size());
        const std::string_view expected = pattern.substr(start, slash - start);
        if (expected == "{name}" && !segments[i].empty()) {
            name = segments[i];
        } else if (expected != segments[i]) {
            return false;
        }
        const bool patternEnds = slash == pattern.size();
        if (patternEnds != (i + 1 == segments.size())) {
            return false;
        }
        start = slash + 1;
    }
    return !segments.empty();
}

// A served file as clients see it: its name, not where it lies on the server.
std::string FileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// The answer of a stream's path to a request that cannot become the stream.
ApiReply StreamOnly(const std::string& what) {
    ApiReply reply = ApiReply::Error(426, "this path is a subscription's stream: it needs " + what);
    if (what.find("WebSocket") != std::string::npos) {
        reply.headers.emplace_back("Upgrade", "websocket");
        reply.headers.emplace_back("Connection", "Upgrade");
    }
    return reply;
}

} // namespace

std::span<const ServiceApi::Route> ServiceApi::Routes() {
    using E = DictionaryEndpoints;
    using R = HttpRequest;
    static const std::array<Route, 17> kRoutes = {{
        {"/api/dictionaries", "GET", [](const ServiceApi& api, const R&) { return api.Listing(); },
         nullptr},
        {"/api/dictionaries/", "GET", [](const ServiceApi& api, const R&) { return api.Listing(); },
         nullptr},
        {"/healthz", "GET", [](const ServiceApi& api, const R&) { return api.Health(); }, nullptr},
        {"/metrics", "GET", [](const ServiceApi& api, const R&) { return api.MetricsReply(); },
         nullptr},
        {"/api/dictionaries/{name}", "GET", nullptr, [](const E& e, const R&) { return e.Info(); }},
        {"/api/dictionaries/{name}/", "GET", nullptr,
         [](const E& e, const R&) { return e.Info(); }},
        {"/api/dictionaries/{name}/resolve", "GET", nullptr,
         [](const E& e, const R& r) { return e.Resolve(r); }, false, Work::Heavy,
         [](const E& e, const R& r) { return e.QuickResolve(r); }},
        {"/api/dictionaries/{name}/resolve", "POST", nullptr,
         [](const E& e, const R& r) { return e.Resolve(r); }, false, Work::Heavy,
         [](const E& e, const R& r) { return e.QuickResolve(r); }},
        {"/api/dictionaries/{name}/browse", "GET", nullptr,
         [](const E& e, const R& r) { return e.Browse(r); }, false, Work::Heavy,
         [](const E& e, const R& r) { return e.QuickBrowse(r); }},
        {"/api/dictionaries/{name}/stamp", "GET", nullptr,
         [](const E& e, const R&) { return e.Stamp(); }},
        {"/api/dictionaries/{name}/stamp/compare", "POST", nullptr,
         [](const E& e, const R& r) { return e.CompareStamp(r); }},
        {"/api/dictionaries/{name}/values", "GET", nullptr,
         [](const E& e, const R& r) { return e.ReadValues(r); }, false, Work::Plc,
         [](const E& e, const R& r) { return e.QuickReadValues(r); }},
        {"/api/dictionaries/{name}/values", "POST", nullptr,
         [](const E& e, const R& r) { return e.ReadValues(r); }, false, Work::Plc,
         [](const E& e, const R& r) { return e.QuickReadValues(r); }},
        {"/api/dictionaries/{name}/values", "PUT", nullptr,
         [](const E& e, const R& r) { return e.WriteValues(r); }, true, Work::Plc,
         [](const E& e, const R& r) { return e.QuickWriteValues(r); }},
        {"/api/dictionaries/{name}/dump", "GET", nullptr,
         [](const E& e, const R&) { return e.Dump(); }, false, Work::Heavy},
        {"/api/dictionaries/{name}/subscribe", "GET", nullptr,
         [](const E&, const R&) { return StreamOnly("a WebSocket upgrade"); }, false, Work::Light,
         nullptr, Stream::WebSocket},
        {"/api/dictionaries/{name}/values/stream", "GET", nullptr,
         [](const E&, const R&) { return StreamOnly("an HTTP connection of its own"); }, false,
         Work::Light, nullptr, Stream::Events},
    }};
    return kRoutes;
}

ServiceApi::ServiceApi(ProgramRegistry& registry, std::string readToken, unsigned workers,
                       std::size_t maxSubscriptions)
    : m_Registry(registry), m_ReadToken(std::move(readToken)),
      m_Work(std::make_unique<WorkQueue>(kWaitingRequests, workers)),
      m_Subscriptions(std::make_shared<SubscriptionCount>()),
      m_Metrics(std::make_shared<ServiceMetrics>(OtherRow() + 1)) {
    m_Subscriptions->limit = maxSubscriptions;
}

ServiceApi::~ServiceApi() = default;

const ServiceApi::Route* ServiceApi::Find(const HttpRequest& request, std::string& name,
                                          ApiReply& refusal) const {
    std::string allowed;
    for (const Route& route : Routes()) {
        if (!Matches(route.pattern, request.segments, name)) {
            continue;
        }
        if (route.method == request.method) {
            return &route;
        }
        allowed += (allowed.empty() ? "" : ", ") + std::string(route.method);
    }
    if (!allowed.empty()) {
        refusal = WrongMethod(allowed);
    } else if (!request.segments.empty() && request.segments.front() == "api") {
        refusal = ApiReply::Error(404, "no such endpoint: " + ShortClientText(request.path));
    } else {
        refusal = Page(request);
    }
    return nullptr;
}

void ServiceApi::Handle(const HttpRequest& request, const Completion& done) const {
    std::string name;
    ApiReply refusal;
    if (const Route* route = Find(request, name, refusal)) {
        Dispatch(*route, request, name, true, done);
    } else {
        done(std::move(refusal));
    }
}

std::size_t ServiceApi::RowOf(const HttpRequest& request) const {
    std::string name;
    ApiReply refusal;
    if (const Route* route = Find(request, name, refusal)) {
        return static_cast<std::size_t>(route - Routes().data());
    }
    // A path outside /api is the page's (a missing file of it included); a wrong method or an
    // unknown API path is no route's.
    const bool page = request.segments.empty() || request.segments.front() != "api";
    return page && refusal.status != 405 ? PageRow() : OtherRow();
}

ServiceApi::Stream ServiceApi::StreamOf(const HttpRequest& request) const {
    std::string name;
    ApiReply refusal;
    const Route* route = Find(request, name, refusal);
    return route != nullptr ? route->stream : Stream::None;
}

bool ServiceApi::RunOnWorkers(std::function<void()> job) const {
    return m_Work->Submit(std::move(job));
}

std::shared_ptr<Subscription> ServiceApi::OpenSubscription(const HttpRequest& request,
                                                           Subscription::Notify notify,
                                                           ApiReply& refusal) const {
    std::string name;
    const Route* route = Find(request, name, refusal);
    if (route == nullptr) {
        return nullptr;
    }
    if (route->stream == Stream::None) {
        refusal = ApiReply::Error(404, "no subscription at " + ShortClientText(request.path));
        return nullptr;
    }
    const std::shared_ptr<ServedProgram> served = m_Registry.Find(name);
    if (std::optional<ApiReply> refused = RefuseRead(request, served.get(), true)) {
        refusal = std::move(*refused);
        return nullptr;
    }
    if (served == nullptr) {
        refusal = ApiReply::Error(404, "no dictionary named " + QuotedClientText(name));
        return nullptr;
    }
    if (!served->Current()) {
        refusal = ApiReply::Error(503, "'" + name + "' is not in service: " + served->Error());
        return nullptr;
    }
    // A place is taken first, so that clients racing for the last one cannot both have it.
    const std::shared_ptr<SubscriptionCount> count = m_Subscriptions;
    if (count->held.fetch_add(1) >= count->limit) {
        count->held.fetch_sub(1);
        refusal =
            ApiReply::Error(503, "the service holds its limit of " + std::to_string(count->limit) +
                                     " subscriptions; try again later (see "
                                     "--max-subscriptions)");
        refusal.headers.emplace_back("Retry-After", "5");
        return nullptr;
    }
    std::shared_ptr<Subscription> subscription = served->Subscriptions()->Open(std::move(notify));
    // The subscription ends, and its place is given back, when its last holder drops it.
    Subscription* raw = subscription.get();
    return {raw, [subscription = std::move(subscription), count](Subscription*) mutable {
                subscription.reset();
                count->held.fetch_sub(1);
            }};
}

ApiReply ServiceApi::Handle(const HttpRequest& request) const {
    std::string name;
    ApiReply reply;
    if (const Route* route = Find(request, name, reply)) {
        Dispatch(*route, request, name, false,
                 [&reply](ApiReply made) { reply = std::move(made); });
    }
    return reply;
}

void ServiceApi::Dispatch(const Route& route, const HttpRequest& request, const std::string& name,
                          bool queue, const Completion& done) const {
    // Held to the end of the request: a configuration that removes it meanwhile does not pull
    // it away.
    std::shared_ptr<ServedProgram> served = name.empty() ? nullptr : m_Registry.Find(name);
    // The health check tells nothing of the plant: a monitor needs no token for it.
    const bool open = route.pattern == "/healthz";
    std::optional<ApiReply> refusal = open ? std::nullopt : RefuseRead(request, served.get());
    if (refusal) {
        done(std::move(*refusal));
        return;
    }
    if (route.service != nullptr) {
        done(route.service(*this, request));
        return;
    }
    if (served == nullptr) {
        done(ApiReply::Error(404, "no dictionary named " + QuotedClientText(name)));
        return;
    }
    if (route.writes) {
        if (std::optional<ApiReply> refusal = RefuseWrite(request, served->Writes())) {
            done(std::move(*refusal));
            return;
        }
    }
    // Held to the end of the request: a reload meanwhile does not pull it away.
    std::shared_ptr<const Program> program = served->Current();
    if (!program) {
        done(ApiReply::Error(503, "'" + name + "' is not in service: " + served->Error()));
        return;
    }
    if (!queue || route.work == Work::Light) {
        done(Answer(route, *served, *program, request));
        return;
    }
    const std::shared_ptr<PlcEndpoint>& plc = program->Plc();
    const bool onPlc = route.work == Work::Plc && plc;
    if (!onPlc && route.quick != nullptr) {
        const DictionaryEndpoints endpoints(*served, *program, served->Writes().writable);
        if (std::optional<ApiReply> reply = route.quick(endpoints, request)) {
            done(std::move(*reply));
            return;
        }
    }
    WorkQueue& work = onPlc ? plc->Queue() : *m_Work;
    if (work.Submit([&route, served, program, request, done] {
            done(Answer(route, *served, *program, request));
        })) {
        return;
    }
    ApiReply busy = ApiReply::Error(503, (onPlc ? "the PLC " + plc->Target().Text() + " is busy: "
                                                : std::string("the service is busy: ")) +
                                             std::to_string(work.Capacity()) +
                                             " requests wait already; try again shortly");
    busy.headers.emplace_back("Retry-After", "1");
    done(std::move(busy));
}

// A dictionary endpoint's answer, run on a worker: nothing may escape from it.
ApiReply ServiceApi::Answer(const Route& route, const ServedProgram& served, const Program& program,
                            const HttpRequest& request) {
    try {
        return route.dictionary(DictionaryEndpoints(served, program, served.Writes().writable),
                                request);
    } catch (const std::exception& failure) {
        return ApiReply::Error(500, std::string("internal error: ") + failure.what());
    }
}

std::optional<ApiReply> ServiceApi::RefuseWrite(const HttpRequest& request,
                                                const WritePolicy& writes) {
    if (!writes.writable) {
        return ApiReply::Error(403, "writes are off: the dictionary is not served writable (serve "
                                    "--writable, or writable = true in the plant's configuration)");
    }
    if (!writes.token.empty() && !SameSecret(request.authorization, "Bearer " + writes.token)) {
        ApiReply reply = ApiReply::Error(401, "a write needs the header "
                                              "\"Authorization: Bearer <token>\" with the "
                                              "dictionary's write token");
        reply.headers.emplace_back("WWW-Authenticate", "Bearer");
        return reply;
    }
    return std::nullopt;
}

std::optional<ApiReply> ServiceApi::RefuseRead(const HttpRequest& request,
                                               const ServedProgram* served, bool stream) const {
    if (m_ReadToken.empty()) {
        return std::nullopt;
    }
    std::string given = request.authorization;
    const std::vector<std::string> query = request.Params("access_token");
    if (stream && given.empty() && query.size() == 1) {
        given = "Bearer " + query.front();
    }
    if (SameSecret(given, "Bearer " + m_ReadToken)) {
        return std::nullopt;
    }
    if (served != nullptr) {
        const WritePolicy writes = served->Writes();
        if (writes.writable && !writes.token.empty() &&
            SameSecret(given, "Bearer " + writes.token)) {
            return std::nullopt;
        }
    }
    ApiReply reply = ApiReply::Error(401, "this service needs the header "
                                          "\"Authorization: Bearer <token>\" with its read "
                                          "token on every request");
    reply.headers.emplace_back("WWW-Authenticate", "Bearer");
    return reply;
}

ApiReply ServiceApi::Listing() const {
    nlohmann::json list = nlohmann::json::array();
    // A plant's configuration that was refused is told with every dictionary: each is served
    // as the configuration before it said.
    const std::string configError = m_Registry.ConfigError();
    for (const auto& served : m_Registry.Programs()) {
        const std::shared_ptr<const Program> program = served->Current();
        const std::string error = served->Error();
        list.push_back({{"name", served->Name()},
                        {"file", FileName(served->Path())},
                        {"variables", program ? nlohmann::json(program->Info().counts.variables)
                                              : nlohmann::json()},
                        {"stamp", program ? nlohmann::json(program->Stamp()) : nlohmann::json()},
                        {"error", error.empty() ? nlohmann::json() : nlohmann::json(error)},
                        {"configError",
                         configError.empty() ? nlohmann::json() : nlohmann::json(configError)}});
        const std::shared_ptr<PlcEndpoint> plc = served->Plc();
        list.back()["plc"] = plc ? PlcJson::Endpoint(*plc) : nlohmann::json();
        list.back()["mqtt"] = nlohmann::json();
    }
    if (m_Publisher != nullptr) {
        for (const auto& [dictionary, status] : m_Publisher->Statuses()) {
            for (nlohmann::json& entry : list) {
                if (entry["name"] == dictionary) {
                    entry["mqtt"] = MqttJson::Status(status);
                }
            }
        }
    }
    return ApiReply::Json(std::move(list));
}

ApiReply ServiceApi::Health() const {
    std::size_t serving = 0;
    for (const auto& served : m_Registry.Programs()) {
        serving += served->Current() ? 1 : 0;
    }
    return ApiReply::Json(
        {{"status", "ok"}, {"dictionaries", m_Registry.Programs().size()}, {"serving", serving}});
}

ApiReply ServiceApi::MetricsReply() const {
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Route& route : Routes()) {
        rows.emplace_back(route.pattern, route.method);
    }
    rows.emplace_back("page", "GET");
    rows.emplace_back("other", "");
    MetricsPage::Service service{*m_Metrics, rows, Subscriptions(), {}};
    if (m_Publisher != nullptr) {
        service.mqtt = m_Publisher->Statuses();
    }
    ApiReply reply =
        ApiReply::Text(MetricsPage::Text(m_Registry, service), PrometheusText::kContentType);
    reply.headers.emplace_back("Cache-Control", "no-cache");
    return reply;
}

ApiReply ServiceApi::Page(const HttpRequest& request) {
    const PageAssets::File* file =
        PageAssets::Find(request.path == "/" ? "/index.html" : request.path);
    if (file == nullptr) {
        return ApiReply::Error(404, "no such page: " + ShortClientText(request.path));
    }
    if (request.method != "GET") {
        return WrongMethod("GET");
    }
    ApiReply reply = ApiReply::Text(std::string(file->content), file->contentType);
    reply.headers.emplace_back("Cache-Control", "no-cache");
    // The page loads its scripts and styles from the service, none inline, and talks to the
    // service alone.
    reply.headers.emplace_back("Content-Security-Policy",
                               "default-src 'none'; script-src 'self'; style-src 'self'; "
                               "img-src 'self'; connect-src 'self'; form-action 'self'; "
                               "base-uri 'none'; frame-ancestors 'none'");
    return reply;
}

// The service's router in process: every path and method of the table reaches its endpoint,
// a wrong method gets 405 with the methods the path takes, unknown names and paths get 404, and
// a write needs the token.
#include "service/ServiceApi.h"
#include "HostTestSupport.h"
#include "service/ProgramRegistry.h"

#include <gtest/gtest.h>

#include <future>
#include <sstream>
#include <thread>

namespace {

struct RouteCase {
    const char* method;
    std::string path;
    std::multimap<std::string, std::string> params;
    std::string body;
    const char* authorization;
    int status;
    const char* allow; // the Allow header of a 405, else null
    const char* key;   // a key of the JSON answer, or null (a text answer, or not checked)
};

std::string Header(const ApiReply& reply, const std::string& name) {
    for (const auto& [key, value] : reply.headers) {
        if (key == name) {
            return value;
        }
    }
    return {};
}

// The example program, imported into the registry.
void ServeExample(ProgramRegistry& registry) {
    std::string reason;
    ASSERT_TRUE(registry.Add(hosttest::kExample, reason)) << reason;
    std::ostringstream log;
    ASSERT_EQ(registry.RefreshAll(log), 1U) << log.str();
}

TEST(ServiceApi, RoutesEveryPathAndMethod) {
    ProgramRegistry registry(ProgramOptions{}, {true, "tok"});
    ASSERT_NO_FATAL_FAILURE(ServeExample(registry));
    const std::string stamp = registry.Find("production_line")->Current()->Stamp();
    const ServiceApi api(registry);

    const std::string dictionary = "/api/dictionaries/production_line";
    const std::string items = R"({"items": ["Motor1.Speed", "Nope"]})";
    const std::string write = R"({"values": {"Motor1.Speed": 1500}})";
    const RouteCase cases[] = {
        {"GET", "/api/dictionaries", {}, "", "", 200, nullptr, nullptr},
        {"GET", dictionary, {}, "", "", 200, nullptr, "stamp"},
        {"GET",
         dictionary + "/resolve",
         {{"item", "Motor1.Speed"}},
         "",
         "",
         200,
         nullptr,
         "results"},
        {"POST", dictionary + "/resolve", {}, items, "", 200, nullptr, "results"},
        {"PUT", dictionary + "/resolve", {}, items, "Bearer tok", 405, "GET, POST", nullptr},
        {"GET", dictionary + "/browse", {{"path", "Motor1"}}, "", "", 200, nullptr, "children"},
        {"GET", dictionary + "/browse", {{"path", "Status"}}, "", "", 404, nullptr, "error"},
        {"GET", dictionary + "/stamp", {}, "", "", 200, nullptr, "stamp"},
        {"POST",
         dictionary + "/stamp/compare",
         {},
         R"({"stamp": ")" + stamp + "\"}",
         "",
         200,
         nullptr,
         "result"},
        {"GET", dictionary + "/stamp/compare", {}, "", "", 405, "POST", nullptr},
        {"GET", dictionary + "/values", {{"item", "Motor1.Speed"}}, "", "", 200, nullptr, "values"},
        {"POST", dictionary + "/values", {}, items, "", 200, nullptr, "values"},
        {"PUT", dictionary + "/values", {}, write, "", 401, nullptr, "error"},
        {"PUT", dictionary + "/values", {}, write, "Bearer tox", 401, nullptr, "error"},
        {"PUT", dictionary + "/values", {}, write, "Bearer tok", 200, nullptr, "written"},
        {"DELETE", dictionary + "/values", {}, "", "Bearer tok", 405, "GET, POST, PUT", nullptr},
        {"GET", dictionary + "/dump", {}, "", "", 200, nullptr, nullptr},
        {"GET", "/healthz", {}, "", "", 200, nullptr, "serving"},
        {"POST", "/healthz", {}, "", "", 405, "GET", nullptr},
        {"GET", "/metrics", {}, "", "", 200, nullptr, nullptr},
        {"POST", "/metrics", {}, "", "", 405, "GET", nullptr},
        {"GET", "/api/dictionaries/nope", {}, "", "", 404, nullptr, "error"},
        {"GET", "/api/dictionaries/nope/resolve", {}, "", "", 404, nullptr, "error"},
        {"GET", dictionary + "/nothing", {}, "", "", 404, nullptr, "error"},
        {"GET", "/api/nothing", {}, "", "", 404, nullptr, "error"},
        {"GET", "/", {}, "", "", 200, nullptr, nullptr},
        {"POST", "/", {}, "", "", 405, "GET", nullptr},
        {"GET", "/no-such-page", {}, "", "", 404, nullptr, "error"},
        {"GET", "/api/dictionaries/", {}, "", "", 200, nullptr, nullptr},
        {"GET", dictionary + "/", {}, "", "", 200, nullptr, "stamp"},
        {"GET", "/api/dictionaries//stamp", {}, "", "", 404, nullptr, "error"},
        {"GET", dictionary + "/stamp/", {}, "", "", 404, nullptr, "error"},
        // An encoded slash is part of its segment: a dictionary name, not a path step.
        {"GET", dictionary + "%2Fstamp", {}, "", "", 404, nullptr, "error"},
        {"GET", "/api%2Fdictionaries", {}, "", "", 404, nullptr, "error"},
        {"GET", "/api/dictionaries/production%5Fline/stamp", {}, "", "", 200, nullptr, "stamp"},
    };
    for (const RouteCase& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        HttpRequest request;
        request.method = c.method;
        ASSERT_TRUE(request.SetTarget(c.path));
        request.params = c.params;
        request.body = c.body;
        request.authorization = c.authorization;
        const ApiReply reply = api.Handle(request);
        EXPECT_EQ(reply.status, c.status) << reply.Sent();
        EXPECT_EQ(Header(reply, "Allow"), c.allow == nullptr ? "" : c.allow);
        if (c.key != nullptr) {
            EXPECT_TRUE(reply.Document().contains(c.key)) << reply.Sent();
        }
    }
    // The written value reads back; a dictionary served read-only refuses every write.
    HttpRequest read;
    read.method = "GET";
    ASSERT_TRUE(read.SetTarget(dictionary + "/values"));
    read.params = {{"item", "Motor1.Speed"}};
    EXPECT_EQ(api.Handle(read).Document()["values"][0]["value"], 1500);
    HttpRequest refused;
    refused.method = "PUT";
    ASSERT_TRUE(refused.SetTarget(dictionary + "/values"));
    refused.body = write;
    ProgramRegistry readOnly(ProgramOptions{});
    ASSERT_NO_FATAL_FAILURE(ServeExample(readOnly));
    EXPECT_EQ(ServiceApi(readOnly).Handle(refused).status, 403);
}

// Each request is counted under its route (pattern and method), the page, or no route.
TEST(ServiceApi, CountsEachRequestUnderItsRoute) {
    ProgramRegistry registry(ProgramOptions{});
    ASSERT_NO_FATAL_FAILURE(ServeExample(registry));
    const ServiceApi api(registry, {});
    struct Case {
        const char* method;
        const char* path;
        const char* pattern; // null: the page's row; "": no route's
        const char* routeMethod;
    };
    const Case cases[] = {
        {"GET", "/api/dictionaries", "/api/dictionaries", "GET"},
        {"PUT", "/api/dictionaries/production_line/values", "/api/dictionaries/{name}/values",
         "PUT"},
        {"GET", "/api/dictionaries/nope/stamp", "/api/dictionaries/{name}/stamp", "GET"},
        {"GET", "/metrics", "/metrics", "GET"},
        {"GET", "/", nullptr, nullptr},
        {"GET", "/no-such-page", nullptr, nullptr},
        {"GET", "/api/nothing", "", nullptr},
        {"POST", "/healthz", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " " + c.path);
        HttpRequest request;
        request.method = c.method;
        ASSERT_TRUE(request.SetTarget(c.path));
        const std::size_t row = api.RowOf(request);
        if (c.pattern == nullptr) {
            EXPECT_EQ(row, ServiceApi::PageRow());
        } else if (*c.pattern == '\0') {
            EXPECT_EQ(row, ServiceApi::OtherRow());
        } else {
            ASSERT_LT(row, ServiceApi::Routes().size());
            EXPECT_EQ(ServiceApi::Routes()[row].pattern, c.pattern);
            EXPECT_EQ(ServiceApi::Routes()[row].method, c.routeMethod);
        }
    }
}

struct WorkCase {
    const char* method;
    std::string path;
    std::multimap<std::string, std::string> params;
    bool onWorker; // answered on a worker thread, not the caller's
};

// A request that may list or read thousands of names is answered on the service's workers, so
// a connection thread stays free for the health check and light requests; one that turns out
// small is answered at once.
TEST(ServiceApi, AnswersHeavyRequestsOnItsWorkers) {
    ProgramRegistry registry(ProgramOptions{});
    ASSERT_NO_FATAL_FAILURE(ServeExample(registry));
    const ServiceApi api(registry);
    const std::string dictionary = "/api/dictionaries/production_line";
    std::multimap<std::string, std::string> many;
    for (int i = 0; i < 65; ++i) {
        many.emplace("item", "Motor1.Speed");
    }
    const WorkCase cases[] = {
        {"GET", "/healthz", {}, false},
        {"GET", "/api/dictionaries", {}, false},
        {"GET", dictionary, {}, false},
        {"GET", dictionary + "/stamp", {}, false},
        {"GET", dictionary + "/resolve", {{"item", "Motor1.Speed"}}, false},
        {"GET", dictionary + "/resolve", many, true},
        {"GET", dictionary + "/browse", {{"path", "Line"}}, false},
        {"GET", dictionary + "/browse", {{"path", "Line"}, {"pageSize", "101"}}, true},
        {"GET", dictionary + "/browse", {{"pattern", "Mo*"}}, true},
        {"GET", dictionary + "/browse", {{"kind", "leaves"}}, true},
        {"GET", dictionary + "/values", {{"item", "Line"}}, false},
        {"GET", dictionary + "/values", many, true},
        {"GET", dictionary + "/dump", {}, true},
        {"GET", "/api/dictionaries/nope/values", {}, false},
    };
    for (const WorkCase& c : cases) {
        SCOPED_TRACE(c.path);
        HttpRequest request;
        request.method = c.method;
        ASSERT_TRUE(request.SetTarget(c.path));
        request.params = c.params;
        std::promise<std::pair<std::thread::id, int>> answered;
        api.Handle(request, [&answered](ApiReply reply) {
            answered.set_value({std::this_thread::get_id(), reply.status});
        });
        const auto [thread, status] = answered.get_future().get();
        EXPECT_EQ(thread != std::this_thread::get_id(), c.onWorker);
        EXPECT_EQ(status, c.path.find("nope") == std::string::npos ? 200 : 404);
    }
}

} // namespace

namespace {

struct OpenCase {
    const char* what;
    std::string target;
    ServiceApi::Stream stream;
    int refusal; // 0: opened
};

// Streams are found by path and method; a subscription is refused for an unknown dictionary
// and past the service's limit, and its place comes back when its last holder drops it.
TEST(ServiceApi, OpensSubscriptionsWithinTheLimit) {
    ProgramRegistry registry(ProgramOptions{});
    ASSERT_NO_FATAL_FAILURE(ServeExample(registry));
    const ServiceApi api(registry, {}, 1, 2);
    const std::string dictionary = "/api/dictionaries/production_line";
    const OpenCase cases[] = {
        {"websocket", dictionary + "/subscribe", ServiceApi::Stream::WebSocket, 0},
        {"events", dictionary + "/values/stream", ServiceApi::Stream::Events, 0},
        {"no stream", dictionary + "/values", ServiceApi::Stream::None, 404},
        {"unknown dictionary", "/api/dictionaries/nope/subscribe", ServiceApi::Stream::WebSocket,
         404},
        {"past the limit", dictionary + "/subscribe", ServiceApi::Stream::WebSocket, 503},
    };
    std::vector<std::shared_ptr<Subscription>> held;
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        HttpRequest request;
        request.method = "GET";
        ASSERT_TRUE(request.SetTarget(c.target));
        EXPECT_EQ(api.StreamOf(request), c.stream);
        ApiReply refusal;
        auto subscription = api.OpenSubscription(
            request, [] {}, refusal);
        EXPECT_EQ(subscription == nullptr, c.refusal != 0);
        EXPECT_EQ(refusal.status, c.refusal == 0 ? 200 : c.refusal);
        if (subscription) {
            held.push_back(std::move(subscription));
        }
    }
    EXPECT_EQ(api.Subscriptions(), 2U);
    // A holder's copy keeps the place; the last one gives it back.
    const std::shared_ptr<Subscription> copy = held.front();
    held.erase(held.begin());
    EXPECT_EQ(api.Subscriptions(), 2U);
    EXPECT_EQ(copy->Subscribe({{"Motor1.Speed"}, std::nullopt, 0}).subscribed.size(), 1U);
    HttpRequest again;
    again.method = "GET";
    ASSERT_TRUE(again.SetTarget(dictionary + "/subscribe"));
    ApiReply refusal;
    EXPECT_EQ(api.OpenSubscription(
                  again, [] {}, refusal),
              nullptr);
    EXPECT_NE(refusal.body["error"].get<std::string>().find("--max-subscriptions"),
              std::string::npos);
    held.clear();
    EXPECT_EQ(api.Subscriptions(), 1U);
    EXPECT_NE(api.OpenSubscription(
                  again, [] {}, refusal),
              nullptr);
}

} // namespace

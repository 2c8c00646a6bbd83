// The header checks of the service: the Host it answers to, same-origin callers only, and the
// protocol features it implements, each refused with its status before the body is read.
#include "service/RequestGuard.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

namespace http = boost::beast::http;

struct GuardCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> fields;
    unsigned version;
    std::optional<std::uint64_t> length;
    int status; // 0: passes
};

TEST(RequestGuard, RefusesWhatTheServiceDoesNotAnswer) {
    const RequestGuard guard({"Plant-Gateway.example"}, 1000);
    const GuardCase cases[] = {
        {"IPv4 with port", {{"Host", "127.0.0.1:8080"}}, 11, {}, 0},
        {"IPv4 without port", {{"Host", "192.168.0.7"}}, 11, {}, 0},
        {"IPv6", {{"Host", "[::1]:8080"}}, 11, {}, 0},
        {"IPv6 without port", {{"Host", "[fe80::1]"}}, 11, {}, 0},
        {"localhost, any case", {{"Host", "LocalHost:9"}}, 11, {}, 0},
        {"allowed name, any case", {{"Host", "plant-gateway.EXAMPLE:80"}}, 11, {}, 0},
        {"no Host on HTTP/1.0", {}, 10, {}, 0},
        {"no Host on HTTP/1.1", {}, 11, {}, 400},
        {"two Hosts", {{"Host", "127.0.0.1"}, {"Host", "localhost"}}, 11, {}, 400},
        {"empty Host", {{"Host", ""}}, 11, {}, 400},
        {"bad port", {{"Host", "localhost:80x"}}, 11, {}, 400},
        {"port too large", {{"Host", "localhost:65536"}}, 11, {}, 400},
        {"bare IPv6", {{"Host", "::1"}}, 11, {}, 400},
        {"rebound name", {{"Host", "attacker.example:8080"}}, 11, {}, 421},
        {"name ending in an address", {{"Host", "127.0.0.1.attacker.example"}}, 11, {}, 421},
        {"short IPv4 form", {{"Host", "127.1"}}, 11, {}, 421},
        {"IPv6 unbracketed as name", {{"Host", "[127.0.0.1]"}}, 11, {}, 421},
        {"subdomain of an allowed name", {{"Host", "x.plant-gateway.example"}}, 11, {}, 421},
        {"same origin",
         {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.1:8080"}},
         11,
         {},
         0},
        {"same origin, default port",
         {{"Host", "LOCALHOST"}, {"Origin", "http://localhost:80"}},
         11,
         {},
         0},
        {"same origin through TLS",
         {{"Host", "plant-gateway.example"}, {"Origin", "https://plant-gateway.example"}},
         11,
         {},
         0},
        {"other port",
         {{"Host", "127.0.0.1:8080"}, {"Origin", "http://127.0.0.1:8081"}},
         11,
         {},
         403},
        {"other host",
         {{"Host", "127.0.0.1:8080"}, {"Origin", "http://evil.example"}},
         11,
         {},
         403},
        {"null origin", {{"Host", "127.0.0.1"}, {"Origin", "null"}}, 11, {}, 403},
        {"other scheme", {{"Host", "127.0.0.1"}, {"Origin", "file://127.0.0.1"}}, 11, {}, 403},
        {"two origins",
         {{"Host", "127.0.0.1"}, {"Origin", "http://127.0.0.1"}, {"Origin", "http://127.0.0.1"}},
         11,
         {},
         403},
        {"chunked", {{"Host", "127.0.0.1"}, {"Transfer-Encoding", "Chunked"}}, 11, {}, 0},
        {"gzip then chunked",
         {{"Host", "127.0.0.1"}, {"Transfer-Encoding", "gzip, chunked"}},
         11,
         {},
         501},
        {"codings in two fields",
         {{"Host", "127.0.0.1"},
          {"Transfer-Encoding", "deflate"},
          {"Transfer-Encoding", "chunked"}},
         11,
         {},
         501},
        {"continue", {{"Host", "127.0.0.1"}, {"Expect", "100-Continue"}}, 11, 10, 0},
        {"other expectation", {{"Host", "127.0.0.1"}, {"Expect", "200-ok"}}, 11, {}, 417},
        {"expectation of HTTP/1.0 ignored", {{"Expect", "200-ok"}}, 10, {}, 0},
        {"body at the limit", {{"Host", "127.0.0.1"}}, 11, 1000, 0},
        {"body over the limit", {{"Host", "127.0.0.1"}}, 11, 1001, 413},
        {"Host checked first", {{"Host", "evil.example"}, {"Expect", "x"}}, 11, 5000, 421},
    };
    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.what);
        RequestGuard::Header header;
        header.version(c.version);
        for (const auto& [name, value] : c.fields) {
            header.insert(name, value);
        }
        const std::optional<ApiReply> refusal = guard.Check(header, c.length);
        EXPECT_EQ(refusal ? refusal->status : 0, c.status);
        if (refusal) {
            EXPECT_FALSE(refusal->body.value("error", "").empty());
        }
    }
}

TEST(RequestGuard, ContinueIsSentOnlyWhenAskedOnHttp11) {
    RequestGuard::Header header;
    header.version(11);
    EXPECT_FALSE(RequestGuard::WantsContinue(header));
    header.set(http::field::expect, " 100-continue ");
    EXPECT_TRUE(RequestGuard::WantsContinue(header));
    header.version(10);
    EXPECT_FALSE(RequestGuard::WantsContinue(header));
}

} // namespace

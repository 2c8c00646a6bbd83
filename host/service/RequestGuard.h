#pragma once

#include "service/ApiReply.h"

#include <boost/beast/http/message.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The checks a request's header must pass before its body is read or any endpoint sees it:
// a Host the service answers to (an IP address, localhost or a name the operator allowed, so
// that a name rebound to this machine is refused), no cross-origin caller, and only the
// protocol features the service implements (chunked transfer, "Expect: 100-continue", a body
// within the limit).
class RequestGuard {
public:
    using Header = boost::beast::http::request_header<>;

    // allowedHosts: names besides IP addresses and localhost, compared without case.
    RequestGuard(std::vector<std::string> allowedHosts, std::uint64_t maxBody);

    // Null when the request may be read on; else the refusal: 400 (no or several Host), 421
    // (a Host not answered to), 403 (another origin), 501 (a transfer coding other than
    // chunked), 417 (an expectation other than 100-continue), 413 (a body over the limit).
    std::optional<ApiReply> Check(const Header& header, std::optional<std::uint64_t> length) const;
    // True when the client waits for "100 Continue" before it sends the body.
    static bool WantsContinue(const Header& header);

private:
    std::optional<ApiReply> CheckHost(const Header& header) const;
    static std::optional<ApiReply> CheckOrigin(const Header& header);
    static std::optional<ApiReply> CheckTransferCoding(const Header& header);
    static std::optional<ApiReply> CheckExpect(const Header& header);
    bool Answers(std::string_view name) const;

    std::vector<std::string> m_AllowedHosts; // lower case
    std::uint64_t m_MaxBody;
};

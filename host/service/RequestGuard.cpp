#include "service/RequestGuard.h"

#include <boost/asio/ip/address.hpp>

#include <algorithm>
#include <cctype>

namespace http = boost::beast::http;

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// An authority "host[:port]" split into its host (brackets of an IPv6 address removed) and
// port; false when it is not one.
bool SplitAuthority(std::string_view authority, std::string_view& host, std::string_view& port) {
    std::size_t hostEnd = 0;
    if (!authority.empty() && authority.front() == '[') {
        hostEnd = authority.find(']');
        if (hostEnd == std::string_view::npos) {
            return false;
        }
        host = authority.substr(1, hostEnd - 1);
        ++hostEnd;
    } else {
        hostEnd = std::min(authority.find(':'), authority.size());
        host = authority.substr(0, hostEnd);
    }
    std::string_view rest = authority.substr(hostEnd);
    port = {};
    if (!rest.empty()) {
        if (rest.front() != ':') {
            return false;
        }
        port = rest.substr(1);
    }
    const bool digits =
        std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    return !host.empty() && digits && port.size() <= 5 &&
           (port.empty() || std::stoul(std::string(port)) <= 65535);
}

// The authority without the scheme's default port, in lower case, so that
// "http://Example:80" and "example" compare equal.
std::string Normalized(std::string_view authority, std::string_view scheme) {
    std::string text = Lower(authority);
    const std::string defaultPort = scheme == "https" ? ":443" : ":80";
    if (text.size() > defaultPort.size() &&
        text.compare(text.size() - defaultPort.size(), defaultPort.size(), defaultPort) == 0) {
        text.resize(text.size() - defaultPort.size());
    }
    return text;
}

std::string_view Field(const RequestGuard::Header& header, http::field name) {
    const auto value = header[name];
    return {value.data(), value.size()};
}

bool IsAddress(std::string_view host, bool bracketed) {
    boost::system::error_code error;
    if (bracketed) {
        boost::asio::ip::make_address_v6(std::string(host), error);
    } else {
        boost::asio::ip::make_address_v4(std::string(host), error);
    }
    return !error;
}

} // namespace

RequestGuard::RequestGuard(std::vector<std::string> allowedHosts, std::uint64_t maxBody)
    : m_AllowedHosts(std::move(allowedHosts)), m_MaxBody(maxBody) {
    for (std::string& name : m_AllowedHosts) {
        name = Lower(name);
    }
}

std::optional<ApiReply> RequestGuard::Check(const Header& header,
                                            std::optional<std::uint64_t> length) const {
    if (auto refusal = CheckHost(header)) {
        return refusal;
    }
    if (auto refusal = CheckOrigin(header)) {
        return refusal;
    }
    if (auto refusal = CheckTransferCoding(header)) {
        return refusal;
    }
    if (auto refusal = CheckExpect(header)) {
        return refusal;
    }
    if (length && *length > m_MaxBody) {
        return ApiReply::Error(413,
                               "the body is larger than " + std::to_string(m_MaxBody) + " bytes");
    }
    return std::nullopt;
}

bool RequestGuard::WantsContinue(const Header& header) {
    // An HTTP/1.0 client cannot take an interim answer; its expectation is ignored.
    return header.version() >= 11 && header.count(http::field::expect) > 0 &&
           Lower(Trim(Field(header, http::field::expect))) == "100-continue";
}

std::optional<ApiReply> RequestGuard::CheckHost(const Header& header) const {
    const std::size_t count = header.count(http::field::host);
    if (count == 0) {
        if (header.version() >= 11) {
            return ApiReply::Error(400, "an HTTP/1.1 request needs a Host header");
        }
        return std::nullopt; // HTTP/1.0 may go without
    }
    std::string_view host;
    std::string_view port;
    const std::string_view value = Trim(Field(header, http::field::host));
    if (count > 1 || !SplitAuthority(value, host, port)) {
        return ApiReply::Error(400, "the Host header is not one host[:port]");
    }
    // The port is not compared: a forwarded port may differ from the one listened on, and a
    // rebound name is refused by its name.
    if (IsAddress(host, value.front() == '[') || Answers(host)) {
        return std::nullopt;
    }
    return ApiReply::Error(421, "this service does not answer to the host name '" +
                                    std::string(host) +
                                    "'; use its address, localhost, or a name given to "
                                    "--allowed-host");
}

bool RequestGuard::Answers(std::string_view name) const {
    const std::string lower = Lower(name);
    return lower == "localhost" ||
           std::find(m_AllowedHosts.begin(), m_AllowedHosts.end(), lower) != m_AllowedHosts.end();
}

// A browser names the page that makes a request in Origin; a page of another origin (another
// host or port) must not use the service with the operator's access.
std::optional<ApiReply> RequestGuard::CheckOrigin(const Header& header) {
    if (header.count(http::field::origin) == 0) {
        return std::nullopt; // not sent by a page: curl, scripts
    }
    const std::string_view origin = Trim(Field(header, http::field::origin));
    const std::size_t separator = origin.find("://");
    const std::string_view scheme =
        separator == std::string_view::npos ? "" : origin.substr(0, separator);
    const std::string_view authority =
        separator == std::string_view::npos ? "" : origin.substr(separator + 3);
    const bool same =
        header.count(http::field::origin) == 1 && (scheme == "http" || scheme == "https") &&
        Normalized(authority, scheme) == Normalized(Trim(Field(header, http::field::host)), scheme);
    if (same) {
        return std::nullopt;
    }
    return ApiReply::Error(403, "cross-origin requests are refused: the Origin '" +
                                    std::string(origin) + "' is not this service's");
}

std::optional<ApiReply> RequestGuard::CheckTransferCoding(const Header& header) {
    for (const auto& field : header) {
        if (field.name() != http::field::transfer_encoding) {
            continue;
        }
        std::string_view codings(field.value().data(), field.value().size());
        while (!codings.empty()) {
            const std::size_t comma = codings.find(',');
            const std::string_view coding = Trim(codings.substr(0, comma));
            codings = comma == std::string_view::npos ? "" : codings.substr(comma + 1);
            if (!coding.empty() && Lower(coding) != "chunked") {
                return ApiReply::Error(501, "the transfer coding '" + std::string(coding) +
                                                "' is not supported; send the body as it is, "
                                                "with Content-Length or chunked");
            }
        }
    }
    return std::nullopt;
}

std::optional<ApiReply> RequestGuard::CheckExpect(const Header& header) {
    if (header.count(http::field::expect) == 0 || header.version() < 11 || WantsContinue(header)) {
        return std::nullopt;
    }
    return ApiReply::Error(417, "the expectation '" +
                                    std::string(Field(header, http::field::expect)) +
                                    "' is not supported; only 100-continue is");
}

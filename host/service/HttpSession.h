#pragma once

#include "service/ServiceApi.h"
#include "service/ServiceLog.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

// What every connection of a service shares.
struct HttpSessionContext {
    const ServiceApi& api;
    ServiceLog& log;
    bool verbose = false;
    std::atomic<bool> stopping{false};
};

// One client connection: reads a request, answers it, and waits for the next one (keep-alive)
// without holding a thread while it waits. When the service stops, a request being answered
// is finished and the connection then closed.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    static constexpr std::size_t kMaxBody = 1024 * 1024;
    static constexpr std::chrono::seconds kIdleTimeout{30};

    HttpSession(boost::asio::ip::tcp::socket&& socket, HttpSessionContext& context);

    void Start();
    // Ends the wait for a next request (from any thread); a request in progress finishes.
    void Close();

private:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    using Response = boost::beast::http::response<boost::beast::http::string_body>;

    // What an answer needs of its request once the request is gone.
    struct Exchange {
        unsigned version = 11;
        bool keepAlive = false;
        bool head = false;
        std::string method;
        std::string target;
    };

    void Read();
    void OnRead(boost::beast::error_code error);
    void Answer(const Request& request);
    ServiceApi::Completion Completion(const Exchange& exchange);
    void Finish(const Exchange& exchange, const ApiReply& reply);
    void Send(const ApiReply& reply, unsigned version, bool keepAlive, bool head);
    void OnWrite(bool keepAlive, boost::beast::error_code error);
    void LogLine(const std::string& method, const std::string& target, int status);
    void Shutdown();
    void Drain();

    boost::beast::tcp_stream m_Stream;
    boost::beast::flat_buffer m_Buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_Parser;
    Response m_Response;
    HttpSessionContext& m_Context;
    std::string m_Remote;
    std::chrono::steady_clock::time_point m_Start;
    std::array<char, 4096> m_Discard{};
    bool m_Reading = false; // waiting for a request; touched on the connection's strand only
};

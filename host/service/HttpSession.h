#pragma once

#include "service/RequestGuard.h"
#include "service/ServiceApi.h"
#include "service/ServiceLog.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

// What every connection of a service shares.
struct HttpSessionContext {
    const ServiceApi& api;
    ServiceLog& log;
    RequestGuard guard;
    bool verbose = false;
    std::atomic<bool> stopping{false};
};

// One client connection: reads a request, answers it, and waits for the next one (keep-alive)
// without holding a thread while it waits. The header is checked before the body is read (and
// "100 Continue" sent when the client waits for it). When the service stops, a request being
// answered is finished and the connection then closed. A request for a subscription's stream
// (a WebSocket upgrade, server-sent events) hands the connection over to its stream session,
// which this one stays the owner of for the service: it is counted and closed with the others.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    static constexpr std::size_t kMaxBody = 1024 * 1024;
    static constexpr std::chrono::seconds kIdleTimeout{30};
    // How long a connection made before a stop has, once the stop began, to send its first
    // request.
    static constexpr std::chrono::seconds kLastRequestTimeout{2};

    HttpSession(boost::asio::ip::tcp::socket&& socket, HttpSessionContext& context);
    ~HttpSession();
    HttpSession(const HttpSession&) = delete;
    HttpSession& operator=(const HttpSession&) = delete;

    void Start();
    // Answers with the reply without reading a request, then closes.
    void Refuse(const ApiReply& reply);
    // For a stop (from any thread): ends the wait for a next request; a request in progress
    // finishes, and a first request still has a short while to come.
    void Close();
    // Closes the connection at once if it still waits for a request with nothing of it
    // received (from any thread), to free its descriptor for a newer client.
    void Evict();
    // Whether the connection waits for a request with nothing of it received, and since when.
    bool Idle() const { return m_Idle; }
    std::chrono::steady_clock::time_point IdleSince() const { return m_IdleSince; }

    // What every answer carries so that a browser neither sniffs its type nor shows it in a
    // frame; an answer that is not the page gets a policy that lets it load nothing.
    template <class Message> static void SetSafetyHeaders(Message& message) {
        message.set("X-Content-Type-Options", "nosniff");
        message.set("X-Frame-Options", "DENY");
        message.set("Referrer-Policy", "no-referrer");
        if (message.find("Content-Security-Policy") == message.end()) {
            message.set("Content-Security-Policy", "default-src 'none'; frame-ancestors 'none'");
        }
    }

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
        std::size_t row = ServiceApi::OtherRow(); // in the service's metrics
    };

    void Read();
    void OnFirstBytes(boost::beast::error_code error, std::size_t size);
    void ReadHeader();
    void OnHeader(boost::beast::error_code error);
    void ReadBody();
    void OnRead(boost::beast::error_code error);
    // False without an error; else ends the connection (closed, timed out, cut) or answers a
    // malformed request, and is true.
    bool EndedOrMalformed(boost::beast::error_code error);
    void Answer(Request& request);
    // True when the request was a stream's and is answered (refused) or handed over; false
    // when it is to be answered as any other (a stream's path without an upgrade).
    bool OpenStream(const HttpRequest& query, const Exchange& exchange);
    void OpenWebSocket(const HttpRequest& query, const Exchange& exchange);
    void OpenEvents(const HttpRequest& query, const Exchange& exchange);
    ServiceApi::Completion Completion(const Exchange& exchange);
    // Counts the answer in the service's metrics and logs it when verbose.
    void Record(const Exchange& exchange, int status);
    void Finish(const Exchange& exchange, ApiReply reply);
    void Send(ApiReply reply, unsigned version, bool keepAlive, bool head);
    void OnWrite(bool keepAlive, boost::beast::error_code error);
    void LogLine(const std::string& method, const std::string& target, int status);
    void Shutdown();
    void Drain();

    boost::beast::tcp_stream m_Stream;
    boost::asio::steady_timer m_Grace; // a first request's time during a stop
    boost::beast::flat_buffer m_Buffer;
    std::optional<boost::beast::http::request_parser<boost::beast::http::string_body>> m_Parser;
    Response m_Response;
    boost::beast::http::response<boost::beast::http::empty_body> m_Continue;
    HttpSessionContext& m_Context;
    std::shared_ptr<ServiceMetrics> m_Metrics;
    std::string m_Remote;
    std::chrono::steady_clock::time_point m_Start;
    std::array<char, 4096> m_Discard{};
    // Touched on the connection's strand only:
    bool m_Reading = false;   // waiting for a request
    bool m_KeptAlive = false; // answered a request before this one
    bool m_Waiting = false;   // for the first bytes of a request
    bool m_Evicted = false;
    std::function<void()> m_CloseStream; // set once the connection is a stream's
    // Read by the service from its own thread:
    std::atomic<bool> m_Idle{false};
    std::atomic<std::chrono::steady_clock::time_point> m_IdleSince{};
};

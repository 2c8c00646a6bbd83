#pragma once

#include "service/HttpSession.h"
#include "service/ServiceApi.h"
#include "service/ServiceLog.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The HTTP side of the service: a listening socket and a fixed pool of threads that run every
// connection asynchronously, so that a few threads serve many keep-alive clients and an idle
// client holds no thread. Each thread runs its own I/O context and each connection stays on
// one of them, so that a request is served by one thread from its first byte to its answer,
// without handing its steps from thread to thread. At most maxConnections are held: beyond,
// the longest idle one is closed to make room, or the newcomer gets 503. When descriptors run
// out, accepting pauses briefly instead of retrying at once. Stop() ends the waits, serves the
// connections still queued in the kernel, and lets the requests in progress finish.
class HttpService {
public:
    // A client's next request usually follows its answer within tens of microseconds; a thread
    // still awake takes it at once, where a sleeping one waits for its core to wake (tens of
    // microseconds more on a virtual machine, twice a request).
    static constexpr std::chrono::microseconds::rep kDefaultPoll = 50;

    struct Options {
        std::string bind = "127.0.0.1";
        int port = 8080; // 0: any free port
        unsigned threads = 1;
        bool verbose = false;
        std::vector<std::string> allowedHosts; // host names answered to besides addresses
        std::size_t maxConnections = 256;
        // After a handler, a thread polls this long for the next before it sleeps; 0: never.
        std::chrono::microseconds poll{kDefaultPoll};
    };

    static constexpr std::chrono::milliseconds kAcceptPause{50};

    HttpService(const ServiceApi& api, ServiceLog& log, const Options& options);

    // The port bound, or -1 with the reason.
    int Bind(std::string& reason);
    // Serves on the pool until Stop(); returns once every connection has ended.
    void Serve();
    // From any thread.
    void Stop();

private:
    // These run on the acceptor's strand.
    void Accept();
    void Admit(boost::asio::ip::tcp::socket socket);
    void PauseAccepting(const boost::system::error_code& error);
    void TakeBacklog();

    // The context of the next connection, in turn.
    boost::asio::io_context& NextContext();
    // Runs a context's handlers until it ends, polling for the next one after each.
    void Run(boost::asio::io_context& io) const;
    // The number of connections held, this one included.
    std::size_t Track(const std::shared_ptr<HttpSession>& session);
    std::size_t Held();
    // False when no connection is idle.
    bool EvictLongestIdle();

    Options m_Options;
    HttpSessionContext m_Context;
    boost::asio::io_context m_Io; // the acceptor's, and some connections'
    // One per thread but the first, each kept running until the stop.
    std::vector<std::unique_ptr<boost::asio::io_context>> m_MoreIo;
    std::vector<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> m_Keep;
    std::size_t m_Next = 0; // on the acceptor's strand
    boost::asio::ip::tcp::acceptor m_Acceptor;
    boost::asio::steady_timer m_Pause;
    bool m_Starved = false; // out of descriptors, reported once until an accept succeeds
    bool m_Full = false;    // at the connection limit with none idle, reported once
    std::mutex m_Mutex;     // guards m_Sessions
    std::vector<std::weak_ptr<HttpSession>> m_Sessions;
};

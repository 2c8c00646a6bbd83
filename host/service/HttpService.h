#pragma once

#include "service/HttpSession.h"
#include "service/ServiceApi.h"
#include "service/ServiceLog.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// The HTTP side of the service: a listening socket and a fixed pool of threads that run every
// connection asynchronously, so that a few threads serve many keep-alive clients and an idle
// client holds no thread. Stop() ends the waits and lets the requests in progress finish.
class HttpService {
public:
    struct Options {
        std::string bind = "127.0.0.1";
        int port = 8080; // 0: any free port
        unsigned threads = 1;
        bool verbose = false;
    };

    HttpService(const ServiceApi& api, ServiceLog& log, const Options& options);

    // The port bound, or -1 with the reason.
    int Bind(std::string& reason);
    // Serves on the pool until Stop(); returns once every connection has ended.
    void Serve();
    // From any thread.
    void Stop();

private:
    void Accept();
    void Track(const std::shared_ptr<HttpSession>& session);

    Options m_Options;
    HttpSessionContext m_Context;
    boost::asio::io_context m_Io;
    boost::asio::ip::tcp::acceptor m_Acceptor;
    std::mutex m_Mutex; // guards m_Sessions
    std::vector<std::weak_ptr<HttpSession>> m_Sessions;
};

#include "service/HttpService.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

#include <algorithm>
#include <thread>

namespace net = boost::asio;
using net::ip::tcp;

HttpService::HttpService(const ServiceApi& api, ServiceLog& log, const Options& options)
    : m_Options(options), m_Context{api, log, options.verbose},
      m_Io(static_cast<int>(options.threads)), m_Acceptor(net::make_strand(m_Io)) {}

int HttpService::Bind(std::string& reason) {
    boost::system::error_code error;
    const auto address = net::ip::make_address(m_Options.bind, error);
    if (error) {
        reason = "'" + m_Options.bind + "' is not an IP address";
        return -1;
    }
    const tcp::endpoint endpoint(address, static_cast<unsigned short>(m_Options.port));
    m_Acceptor.open(endpoint.protocol(), error);
    if (!error) {
        m_Acceptor.set_option(net::socket_base::reuse_address(true), error);
    }
    if (!error) {
        m_Acceptor.bind(endpoint, error);
    }
    if (!error) {
        m_Acceptor.listen(net::socket_base::max_listen_connections, error);
    }
    if (error) {
        reason = "cannot listen on " + m_Options.bind + ":" + std::to_string(m_Options.port) +
                 ": " + error.message();
        return -1;
    }
    return m_Acceptor.local_endpoint().port();
}

void HttpService::Accept() {
    m_Acceptor.async_accept(
        net::make_strand(m_Io), [this](boost::system::error_code error, tcp::socket socket) {
            if (error == net::error::operation_aborted || !m_Acceptor.is_open()) {
                return;
            }
            if (!error) {
                boost::system::error_code ignored;
                socket.set_option(tcp::no_delay(true), ignored);
                auto session = std::make_shared<HttpSession>(std::move(socket), m_Context);
                Track(session);
                session->Start();
            }
            Accept();
        });
}

void HttpService::Track(const std::shared_ptr<HttpSession>& session) {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    std::erase_if(m_Sessions,
                  [](const std::weak_ptr<HttpSession>& seen) { return seen.expired(); });
    m_Sessions.push_back(session);
}

void HttpService::Serve() {
    Accept();
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < m_Options.threads; ++i) {
        pool.emplace_back([this] { m_Io.run(); });
    }
    m_Io.run();
    for (std::thread& thread : pool) {
        thread.join();
    }
}

void HttpService::Stop() {
    // One post, and nothing after it: the pool cannot run out of work (the pending accept)
    // before the handler runs, so the service is never touched once Serve() may return.
    net::post(m_Io, [this] {
        m_Context.stopping = true;
        net::post(m_Acceptor.get_executor(), [this] {
            boost::system::error_code ignored;
            m_Acceptor.close(ignored);
        });
        const std::lock_guard<std::mutex> lock(m_Mutex);
        for (const std::weak_ptr<HttpSession>& seen : m_Sessions) {
            if (const auto session = seen.lock()) {
                session->Close();
            }
        }
    });
}

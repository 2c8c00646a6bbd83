#include "service/HttpService.h"

#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>

#include <algorithm>
#include <chrono>
#include <thread>

namespace net = boost::asio;
using net::ip::tcp;

HttpService::HttpService(const ServiceApi& api, ServiceLog& log, const Options& options)
    : m_Options(options), m_Context{api, log,
                                    RequestGuard(options.allowedHosts, HttpSession::kMaxBody),
                                    options.verbose},
      m_Io(1), m_Acceptor(net::make_strand(m_Io)), m_Pause(m_Acceptor.get_executor()) {
    for (unsigned i = 1; i < options.threads; ++i) {
        m_MoreIo.push_back(std::make_unique<net::io_context>(1));
        m_Keep.push_back(net::make_work_guard(*m_MoreIo.back()));
    }
}

net::io_context& HttpService::NextContext() {
    const std::size_t next = m_Next;
    m_Next = (m_Next + 1) % (m_MoreIo.size() + 1);
    return next == 0 ? m_Io : *m_MoreIo[next - 1];
}

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
    m_Acceptor.async_accept(net::make_strand(NextContext()), [this](boost::system::error_code error,
                                                                    tcp::socket socket) {
        if (!error) {
            // Served even when the acceptor closed meanwhile: the client is connected.
            m_Starved = false;
            Admit(std::move(socket));
        }
        if (error == net::error::operation_aborted || !m_Acceptor.is_open()) {
            return;
        }
        if (error && error != net::error::connection_aborted &&
            error != net::error::connection_reset) {
            // Out of descriptors or memory: the connection stays queued, and retrying at
            // once would only spin.
            PauseAccepting(error);
            return;
        }
        Accept();
    });
}

void HttpService::Admit(tcp::socket socket) {
    boost::system::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    auto session = std::make_shared<HttpSession>(std::move(socket), m_Context);
    const std::size_t held = Track(session);
    // During a stop, the connections taken are those the clients made before it.
    if (m_Context.stopping || held <= m_Options.maxConnections || EvictLongestIdle()) {
        m_Full = false;
        session->Start();
        return;
    }
    if (!m_Full) {
        m_Full = true;
        m_Context.log.Write("the limit of " + std::to_string(m_Options.maxConnections) +
                            " connections is reached and none is idle: new clients get 503 "
                            "(see --max-connections)");
    }
    ApiReply busy = ApiReply::Error(503, "the service holds its limit of " +
                                             std::to_string(m_Options.maxConnections) +
                                             " connections, all busy; try again shortly");
    busy.headers.emplace_back("Retry-After", "1");
    session->Refuse(busy);
}

void HttpService::PauseAccepting(const boost::system::error_code& error) {
    if (!m_Starved) {
        m_Starved = true;
        m_Context.log.Write("cannot accept connections: " + error.message() +
                            "; closing idle ones and retrying every " +
                            std::to_string(kAcceptPause.count()) + " ms");
    }
    // A quarter of the idle ones, so that the clients queued behind them get in soon.
    for (std::size_t evicted = 0; evicted < std::max<std::size_t>(1, Held() / 4); ++evicted) {
        if (!EvictLongestIdle()) {
            break;
        }
    }
    m_Pause.expires_after(kAcceptPause);
    m_Pause.async_wait([this](boost::system::error_code waited) {
        if (!waited && m_Acceptor.is_open()) {
            Accept();
        }
    });
}

// Connections the kernel completed before the stop are taken and served rather than reset
// when the listening socket closes.
void HttpService::TakeBacklog() {
    boost::system::error_code error;
    m_Acceptor.non_blocking(true, error);
    // Bounded, should clients keep coming meanwhile.
    for (std::size_t taken = 0; !error && taken < m_Options.maxConnections; ++taken) {
        tcp::socket socket(net::make_strand(NextContext()));
        m_Acceptor.accept(socket, error);
        if (!error) {
            Admit(std::move(socket));
        }
    }
}

std::size_t HttpService::Held() {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Sessions.size();
}

std::size_t HttpService::Track(const std::shared_ptr<HttpSession>& session) {
    const std::lock_guard<std::mutex> lock(m_Mutex);
    std::erase_if(m_Sessions,
                  [](const std::weak_ptr<HttpSession>& seen) { return seen.expired(); });
    m_Sessions.push_back(session);
    return m_Sessions.size();
}

bool HttpService::EvictLongestIdle() {
    std::shared_ptr<HttpSession> longest;
    const std::lock_guard<std::mutex> lock(m_Mutex);
    for (const std::weak_ptr<HttpSession>& seen : m_Sessions) {
        const auto session = seen.lock();
        if (session && session->Idle() &&
            (!longest || session->IdleSince() < longest->IdleSince())) {
            longest = session;
        }
    }
    if (longest) {
        longest->Evict();
    }
    return longest != nullptr;
}

// Runs handlers until the context ends; after each, polls for the next for up to the poll
// time, and only then sleeps in the kernel. An idle service sleeps: the poll follows work.
void HttpService::Run(net::io_context& io) const {
    using Clock = std::chrono::steady_clock;
    const std::chrono::microseconds poll = m_Options.poll;
    while (io.run_one() > 0) {
        auto until = Clock::now() + poll;
        while (Clock::now() < until) {
            if (io.poll_one() > 0) {
                until = Clock::now() + poll;
            } else if (io.stopped()) {
                return;
            }
        }
    }
}

void HttpService::Serve() {
    Accept();
    std::vector<std::thread> pool;
    for (const auto& io : m_MoreIo) {
        pool.emplace_back([this, &io] { Run(*io); });
    }
    Run(m_Io);
    // The acceptor is closed: no connection comes to the other threads any more, and each
    // ends once its connections have.
    for (auto& keep : m_Keep) {
        keep.reset();
    }
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
            TakeBacklog();
            boost::system::error_code ignored;
            m_Acceptor.close(ignored);
            m_Pause.cancel();
        });
        const std::lock_guard<std::mutex> lock(m_Mutex);
        for (const std::weak_ptr<HttpSession>& seen : m_Sessions) {
            if (const auto session = seen.lock()) {
                session->Close();
            }
        }
    });
}

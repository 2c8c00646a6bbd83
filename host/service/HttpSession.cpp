#include "service/HttpSession.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>

#include <thread>

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace net = boost::asio;

HttpSession::HttpSession(net::ip::tcp::socket&& socket, HttpSessionContext& context)
    : m_Stream(std::move(socket)), m_Context(context) {
    beast::error_code error;
    const auto remote = m_Stream.socket().remote_endpoint(error);
    m_Remote = error ? "-" : remote.address().to_string();
}

void HttpSession::Start() {
    net::dispatch(m_Stream.get_executor(), [self = shared_from_this()] { self->Read(); });
}

void HttpSession::Close() {
    net::post(m_Stream.get_executor(), [self = shared_from_this()] {
        // Only a wait for the next request is cut; an answer being written goes out whole.
        if (self->m_Reading) {
            beast::error_code ignored;
            self->m_Stream.socket().cancel(ignored);
        }
    });
}

void HttpSession::Read() {
    if (m_Context.stopping) {
        Shutdown();
        return;
    }
    m_Parser.emplace();
    m_Parser->body_limit(kMaxBody);
    m_Stream.expires_after(kIdleTimeout);
    m_Reading = true;
    http::async_read(
        m_Stream, m_Buffer, *m_Parser,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
}

void HttpSession::OnRead(beast::error_code error) {
    m_Reading = false;
    m_Start = std::chrono::steady_clock::now();
    if (error == http::error::body_limit) {
        Send(ApiReply::Error(413, "the body is larger than 1 MiB"), 11, false, false);
        return;
    }
    if (error == http::error::end_of_stream || error == net::error::operation_aborted ||
        error == beast::error::timeout || error == net::error::connection_reset) {
        Shutdown();
        return;
    }
    if (error) {
        Send(ApiReply::Error(400, "malformed request: " + error.message()), 11, false, false);
        return;
    }
    Answer(m_Parser->get());
}

void HttpSession::Answer(const Request& request) {
    HttpRequest query;
    query.method = std::string(request.method_string());
    query.body = request.body();
    query.authorization = std::string(request[http::field::authorization]);
    Exchange exchange{request.version(),
                      request.keep_alive(),
                      request.method() == http::verb::head,
                      query.method,
                      {}};
    if (exchange.head) {
        query.method = "GET";
    }
    if (!query.SetTarget(std::string_view(request.target().data(), request.target().size()))) {
        Finish(exchange, ApiReply::Error(400, "malformed request target"));
        return;
    }
    exchange.target = query.target;
    try {
        m_Context.api.Handle(query, Completion(exchange));
    } catch (const std::exception& failure) {
        Finish(exchange, ApiReply::Error(500, std::string("internal error: ") + failure.what()));
    }
}

// What sends the answer: at once when it is made on this connection's thread, else (from a
// PLC's worker) on this connection's strand. The pending answer keeps the service running.
ServiceApi::Completion HttpSession::Completion(const Exchange& exchange) {
    auto tracked = net::prefer(m_Stream.get_executor(), net::execution::outstanding_work.tracked);
    return [self = shared_from_this(), exchange, tracked,
            caller = std::this_thread::get_id()](ApiReply reply) {
        if (std::this_thread::get_id() == caller) {
            self->Finish(exchange, reply);
            return;
        }
        net::post(tracked,
                  [self, exchange, reply = std::move(reply)] { self->Finish(exchange, reply); });
    };
}

void HttpSession::Finish(const Exchange& exchange, const ApiReply& reply) {
    if (m_Context.verbose) {
        LogLine(exchange.method, exchange.target, reply.status);
    }
    Send(reply, exchange.version, exchange.keepAlive, exchange.head);
}

void HttpSession::Send(const ApiReply& reply, unsigned version, bool keepAlive, bool head) {
    m_Response = Response(static_cast<http::status>(reply.status), version);
    m_Response.set(http::field::server, "varbank");
    const bool json = reply.contentType.empty();
    m_Response.set(http::field::content_type,
                   json ? "application/json; charset=utf-8" : reply.contentType);
    for (const auto& [name, value] : reply.headers) {
        m_Response.set(name, value);
    }
    m_Response.body() =
        json ? reply.body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
             : reply.text;
    m_Response.keep_alive(keepAlive && !m_Context.stopping);
    m_Response.prepare_payload();
    if (head) {
        m_Response.body().clear();
    }
    m_Stream.expires_after(kIdleTimeout);
    http::async_write(m_Stream, m_Response,
                      [self = shared_from_this(), keep = m_Response.keep_alive()](
                          beast::error_code error, std::size_t) { self->OnWrite(keep, error); });
}

void HttpSession::OnWrite(bool keepAlive, beast::error_code error) {
    if (error || !keepAlive) {
        Shutdown();
        return;
    }
    Read();
}

void HttpSession::LogLine(const std::string& method, const std::string& target, int status) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - m_Start);
    m_Context.log.Write(m_Remote + " " + method + " " + target + " " + std::to_string(status) +
                        " " + std::to_string(elapsed.count()) + " us");
}

// Closes the sending side, then reads what the client still sends until it closes too (or two
// seconds pass), so that a client still sending a refused body reads its answer instead of
// a reset.
void HttpSession::Shutdown() {
    beast::error_code ignored;
    m_Stream.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
    m_Stream.expires_after(std::chrono::seconds(2));
    Drain();
}

void HttpSession::Drain() {
    m_Stream.async_read_some(net::buffer(m_Discard),
                             [self = shared_from_this()](beast::error_code error, std::size_t) {
                                 if (error) {
                                     self->m_Stream.close();
                                 } else {
                                     self->Drain();
                                 }
                             });
}

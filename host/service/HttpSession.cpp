#include "service/HttpSession.h"

#include "service/EventStreamSession.h"
#include "service/SubscribeMessage.h"
#include "service/WebSocketSession.h"
#include "json/CoreJson.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <limits>
#include <sstream>
#include <thread>

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace net = boost::asio;

namespace {

std::string HeaderText(const boost::beast::http::response_header<>& header) {
    std::ostringstream text;
    text << header;
    return text.str();
}

} // namespace

HttpSession::HttpSession(net::ip::tcp::socket&& socket, HttpSessionContext& context)
    : m_Stream(std::move(socket)), m_Grace(m_Stream.get_executor()), m_Context(context),
      m_Metrics(context.api.Metrics()) {
    beast::error_code error;
    const auto remote = m_Stream.socket().remote_endpoint(error);
    m_Remote = error ? "-" : remote.address().to_string();
    m_Metrics->Opened();
}

// The last holder may be a service worker that outlived the service's HTTP side: only what
// the connection holds itself is touched here.
HttpSession::~HttpSession() {
    m_Metrics->Closed();
}

void HttpSession::Start() {
    net::dispatch(m_Stream.get_executor(), [self = shared_from_this()] { self->Read(); });
}

void HttpSession::Refuse(const ApiReply& reply) {
    net::dispatch(m_Stream.get_executor(),
                  [self = shared_from_this(), reply] { self->Send(reply, 11, false, false); });
}

void HttpSession::Close() {
    net::post(m_Stream.get_executor(), [self = shared_from_this()] {
        // An answer being written goes out whole; a wait for a next request is cut; a first
        // request gets a short while to come in whole, since its client connected before the
        // stop. A stream ends at once.
        if (self->m_CloseStream) {
            self->m_CloseStream();
            return;
        }
        if (!self->m_Reading) {
            return;
        }
        beast::error_code ignored;
        if (self->m_KeptAlive) {
            self->m_Stream.socket().cancel(ignored);
            return;
        }
        self->m_Grace.expires_after(kLastRequestTimeout);
        self->m_Grace.async_wait([self](beast::error_code waited) {
            if (!waited && self->m_Reading) {
                beast::error_code cancelled;
                self->m_Stream.socket().cancel(cancelled);
            }
        });
    });
}

void HttpSession::Evict() {
    if (!m_Idle.exchange(false)) {
        return; // busy, or already evicted
    }
    net::post(m_Stream.get_executor(), [self = shared_from_this()] {
        if (self->m_Waiting) { // no byte came meanwhile
            self->m_Evicted = true;
            self->m_Stream.close();
        }
    });
}

// Waits for the first bytes of a request apart from reading it, so that the service can tell
// an idle connection (one it may close to make room) from one sending a request.
void HttpSession::Read() {
    if (m_Context.stopping && m_KeptAlive) {
        Shutdown();
        return;
    }
    m_Parser.emplace();
    // The declared length is checked with the header; the limit holds for a chunked body.
    m_Parser->body_limit(std::numeric_limits<std::uint64_t>::max());
    m_Stream.expires_after(m_Context.stopping ? kLastRequestTimeout : kIdleTimeout);
    m_Reading = true;
    if (m_Buffer.size() > 0) {
        ReadHeader(); // the next request came with the last one
        return;
    }
    m_IdleSince = std::chrono::steady_clock::now();
    m_Waiting = true;
    m_Idle = true;
    m_Stream.async_read_some(
        m_Buffer.prepare(m_Discard.size()),
        [self = shared_from_this()](beast::error_code error, std::size_t size) {
            self->OnFirstBytes(error, size);
        });
}

void HttpSession::OnFirstBytes(beast::error_code error, std::size_t size) {
    m_Waiting = false;
    m_Idle = false;
    if (m_Evicted) {
        return; // closed to make room; nothing more to do
    }
    m_Buffer.commit(size);
    if (error == net::error::eof) {
        error = http::error::end_of_stream;
    }
    if (!EndedOrMalformed(error)) {
        ReadHeader();
    }
}

void HttpSession::ReadHeader() {
    if (!m_Context.stopping) {
        m_Stream.expires_after(kIdleTimeout);
    }
    http::async_read_header(m_Stream, m_Buffer, *m_Parser,
                            [self = shared_from_this()](beast::error_code error, std::size_t) {
                                self->OnHeader(error);
                            });
}

void HttpSession::OnHeader(beast::error_code error) {
    m_Start = std::chrono::steady_clock::now();
    if (EndedOrMalformed(error)) {
        return;
    }
    const auto& header = m_Parser->get().base();
    const auto declared = m_Parser->content_length();
    const std::optional<std::uint64_t> length =
        declared ? std::optional<std::uint64_t>(*declared) : std::nullopt;
    if (std::optional<ApiReply> refusal = m_Context.guard.Check(header, length)) {
        // The body is not read: the connection ends after the answer.
        m_Reading = false;
        if (m_Context.verbose) {
            LogLine(std::string(header.method_string()), std::string(header.target()),
                    refusal->status);
        }
        Send(*refusal, header.version(), false, header.method() == http::verb::head);
        return;
    }
    m_Parser->body_limit(kMaxBody);
    if (m_Parser->is_done() || !RequestGuard::WantsContinue(header)) {
        ReadBody();
        return;
    }
    m_Continue = {http::status::continue_, header.version()};
    http::async_write(m_Stream, m_Continue,
                      [self = shared_from_this()](beast::error_code failed, std::size_t) {
                          if (failed) {
                              self->Shutdown();
                          } else {
                              self->ReadBody();
                          }
                      });
}

void HttpSession::ReadBody() {
    http::async_read(
        m_Stream, m_Buffer, *m_Parser,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
}

void HttpSession::OnRead(beast::error_code error) {
    m_Reading = false;
    if (error == http::error::body_limit) {
        Send(ApiReply::Error(413, "the body is larger than 1 MiB"), 11, false, false);
        return;
    }
    if (!EndedOrMalformed(error)) {
        Answer(m_Parser->get());
    }
}

bool HttpSession::EndedOrMalformed(beast::error_code error) {
    if (!error) {
        return false;
    }
    m_Reading = false;
    if (error == http::error::end_of_stream || error == net::error::operation_aborted ||
        error == beast::error::timeout || error == net::error::connection_reset) {
        Shutdown();
    } else {
        Send(ApiReply::Error(400, "malformed request: " + error.message()), 11, false, false);
    }
    return true;
}

void HttpSession::Answer(Request& request) {
    HttpRequest query;
    query.method = std::string(request.method_string());
    query.body = std::move(request.body()); // the parser's message is not read again
    query.authorization = std::string(request[http::field::authorization]);
    Exchange exchange{request.version(),
                      request.keep_alive(),
                      request.method() == http::verb::head,
                      query.method,
                      {},
                      ServiceApi::OtherRow()};
    if (exchange.head) {
        query.method = "GET";
    }
    if (!query.SetTarget(std::string_view(request.target().data(), request.target().size()))) {
        Finish(exchange, ApiReply::Error(400, "malformed request target"));
        return;
    }
    exchange.target = query.target;
    exchange.row = m_Context.api.RowOf(query);
    try {
        if (!exchange.head && OpenStream(query, exchange)) {
            return;
        }
        m_Context.api.Handle(query, Completion(exchange));
    } catch (const std::exception& failure) {
        Finish(exchange, ApiReply::Error(500, std::string("internal error: ") + failure.what()));
    }
}

bool HttpSession::OpenStream(const HttpRequest& query, const Exchange& exchange) {
    const ServiceApi::Stream stream = m_Context.api.StreamOf(query);
    if (stream == ServiceApi::Stream::None ||
        (stream == ServiceApi::Stream::WebSocket &&
         !boost::beast::websocket::is_upgrade(m_Parser->get()))) {
        return false;
    }
    if (m_Context.stopping) {
        Finish(exchange, ApiReply::Error(503, "the service is stopping"));
    } else if (stream == ServiceApi::Stream::WebSocket) {
        OpenWebSocket(query, exchange);
    } else {
        OpenEvents(query, exchange);
    }
    return true;
}

void HttpSession::OpenWebSocket(const HttpRequest& query, const Exchange& exchange) {
    auto session = std::make_shared<WebSocketSession>(m_Stream.get_executor());
    ApiReply refusal;
    std::shared_ptr<Subscription> subscription =
        m_Context.api.OpenSubscription(query, session->Notifier(), refusal);
    if (!subscription) {
        Finish(exchange, refusal);
        return;
    }
    Record(exchange, 101);
    m_CloseStream = [weak = std::weak_ptr<WebSocketSession>(session)] {
        if (const auto stream = weak.lock()) {
            stream->Close();
        }
    };
    const ServiceApi& api = m_Context.api;
    session->Start(
        std::move(m_Stream), m_Parser->release(), std::move(subscription),
        [&api](std::function<void()> job) { return api.RunOnWorkers(std::move(job)); },
        shared_from_this());
}

void HttpSession::OpenEvents(const HttpRequest& query, const Exchange& exchange) {
    const SubscribeMessage asked = SubscribeMessage::FromQuery(query);
    if (asked.kind == SubscribeMessage::Kind::Invalid) {
        Finish(exchange, ApiReply::Error(400, asked.reason));
        return;
    }
    auto session = std::make_shared<EventStreamSession>(m_Stream.get_executor());
    ApiReply refusal;
    std::shared_ptr<Subscription> subscription =
        m_Context.api.OpenSubscription(query, session->Notifier(), refusal);
    if (!subscription) {
        Finish(exchange, refusal);
        return;
    }
    const SubscribeAnswer answer = subscription->Subscribe(asked.request);
    if (!answer.Ok()) {
        Finish(exchange, ApiReply::Error(400, answer.error));
        return;
    }
    Record(exchange, 200);
    http::response_header<> header;
    header.version(exchange.version);
    header.result(http::status::ok);
    header.set(http::field::server, "varbank");
    header.set(http::field::content_type, "text/event-stream; charset=utf-8");
    header.set(http::field::cache_control, "no-cache");
    header.set(http::field::connection, "close");
    SetSafetyHeaders(header);
    const std::string head = HeaderText(header) + "event: subscribed\n" +
                             EventStreamSession::Event(CoreJson::Text(asked.Answer(answer), -1));
    m_CloseStream = [weak = std::weak_ptr<EventStreamSession>(session)] {
        if (const auto stream = weak.lock()) {
            stream->Close();
        }
    };
    session->Start(std::move(m_Stream), head, std::move(subscription), shared_from_this());
}

// What sends the answer: at once when it is made on this connection's thread, else (from a
// PLC's worker) on this connection's strand. The pending answer keeps the service running.
ServiceApi::Completion HttpSession::Completion(const Exchange& exchange) {
    auto tracked = net::prefer(m_Stream.get_executor(), net::execution::outstanding_work.tracked);
    return [self = shared_from_this(), exchange, tracked,
            caller = std::this_thread::get_id()](ApiReply reply) {
        if (std::this_thread::get_id() == caller) {
            self->Finish(exchange, std::move(reply));
            return;
        }
        net::post(tracked, [self, exchange, reply = std::move(reply)]() mutable {
            self->Finish(exchange, std::move(reply));
        });
    };
}

void HttpSession::Record(const Exchange& exchange, int status) {
    m_Metrics->Count(exchange.row, status, std::chrono::steady_clock::now() - m_Start);
    if (m_Context.verbose) {
        LogLine(exchange.method, exchange.target, status);
    }
}

void HttpSession::Finish(const Exchange& exchange, ApiReply reply) {
    Record(exchange, reply.status);
    Send(std::move(reply), exchange.version, exchange.keepAlive, exchange.head);
}

void HttpSession::Send(ApiReply reply, unsigned version, bool keepAlive, bool head) {
    m_Response = Response(static_cast<http::status>(reply.status), version);
    m_Response.set(http::field::server, "varbank");
    const bool json = reply.contentType.empty();
    m_Response.set(http::field::content_type,
                   json ? "application/json; charset=utf-8" : reply.contentType);
    for (const auto& [name, value] : reply.headers) {
        m_Response.set(name, value);
    }
    SetSafetyHeaders(m_Response);
    m_Response.body() = reply.text.empty() && json ? reply.Sent() : std::move(reply.text);
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
    m_KeptAlive = true;
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

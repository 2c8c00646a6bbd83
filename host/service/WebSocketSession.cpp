#include "service/WebSocketSession.h"

#include "service/SubscribeMessage.h"
#include "json/CoreJson.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>

namespace beast = boost::beast;
namespace http = boost::beast::http;
namespace net = boost::asio;
namespace websocket = boost::beast::websocket;

WebSocketSession::WebSocketSession(net::any_io_executor strand)
    : m_Strand(std::move(strand)), m_CloseTimer(m_Strand) {}

Subscription::Notify WebSocketSession::Notifier() {
    return [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            net::post(self->m_Strand, [self] { self->Pump(); });
        }
    };
}

void WebSocketSession::Start(beast::tcp_stream&& stream, Request&& request,
                             std::shared_ptr<Subscription> subscription, Runner run,
                             std::shared_ptr<void> owner) {
    m_Request = std::move(request);
    m_Subscription = std::move(subscription);
    m_Run = std::move(run);
    m_Owner = std::move(owner);
    m_Socket.emplace(std::move(stream));
    // The WebSocket keeps its own time: a handshake bound, and pings to an idle client, which
    // is dropped when it answers none.
    beast::get_lowest_layer(*m_Socket).expires_never();
    websocket::stream_base::timeout timeout =
        websocket::stream_base::timeout::suggested(beast::role_type::server);
    timeout.keep_alive_pings = true;
    m_Socket->set_option(timeout);
    m_Socket->set_option(websocket::stream_base::decorator(
        [](websocket::response_type& response) { response.set(http::field::server, "varbank"); }));
    m_Socket->read_message_max(kMaxMessage);
    m_Socket->text(true);
    m_Socket->async_accept(
        m_Request, [self = shared_from_this()](beast::error_code error) { self->OnAccept(error); });
}

void WebSocketSession::Close() {
    net::post(m_Strand, [self = shared_from_this()] {
        self->m_Closing = true;
        self->m_Subscription.reset();
        // A client that takes nothing more (a frame or the handshake still being written to
        // it) is cut off when the timer runs out, so a stop never waits on it.
        self->ArmCloseTimer();
        if (self->m_Open && !self->m_Writing) {
            self->CloseNow();
        }
    });
}

void WebSocketSession::OnAccept(beast::error_code error) {
    if (error) {
        End();
        return;
    }
    m_Open = true;
    if (m_Closing) {
        CloseNow();
        return;
    }
    Read();
}

void WebSocketSession::Read() {
    m_Socket->async_read(
        m_Buffer,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
}

void WebSocketSession::OnRead(beast::error_code error) {
    if (error) {
        // Closed by the client, by a stop, timed out, or a message over the bound (then the
        // client was sent the close code "message too big").
        End();
        return;
    }
    if (m_Closing) {
        return;
    }
    const std::string text = beast::buffers_to_string(m_Buffer.data());
    m_Buffer.consume(m_Buffer.size());
    if (m_Socket->got_binary()) {
        m_Reply = CoreJson::Text(
            SubscribeMessage().Error("messages are JSON text frames; a binary frame is not read"),
            -1);
    } else {
        Answer(text);
    }
    Pump();
}

void WebSocketSession::Answer(std::string_view text) {
    const SubscribeMessage message = SubscribeMessage::Parse(text);
    nlohmann::json answer;
    switch (message.kind) {
    case SubscribeMessage::Kind::Subscribe:
        SubscribeOnWorker(message);
        return;
    case SubscribeMessage::Kind::Unsubscribe:
        answer = message.Unsubscribed(m_Subscription->Unsubscribe(message.request.names));
        break;
    case SubscribeMessage::Kind::Invalid:
        answer = message.Error(message.reason);
        break;
    }
    m_Reply = CoreJson::Text(answer, -1);
}

// The job keeps the service running until its answer is back on the strand (tracked work), and
// hands its hold of the session over with the answer: the session always ends on the strand,
// never on a worker once the service's threads are gone.
void WebSocketSession::SubscribeOnWorker(const SubscribeMessage& message) {
    auto tracked = net::prefer(m_Strand, net::execution::outstanding_work.tracked);
    auto job = [self = shared_from_this(), subscription = m_Subscription, message,
                tracked]() mutable {
        std::string reply =
            CoreJson::Text(message.Answer(subscription->Subscribe(message.request)), -1);
        subscription.reset();
        net::post(tracked, [self = std::move(self), reply = std::move(reply)]() mutable {
            self->m_Reply = std::move(reply);
            self->Pump();
        });
    };
    if (!m_Run(std::move(job))) {
        m_Reply = CoreJson::Text(
            message.Error("the service is too busy to subscribe now; try again shortly"), -1);
    }
}

// Writes what waits, an answer before changes, unless a frame is being written.
void WebSocketSession::Pump() {
    if (!m_Open || m_Writing || m_Ended) {
        return;
    }
    if (m_Closing) {
        CloseNow();
        return;
    }
    if (m_Reply) {
        std::string reply = std::move(*m_Reply);
        m_Reply.reset();
        Write(std::move(reply), true);
        return;
    }
    if (!m_Subscription) {
        return;
    }
    const ChangeBatch batch = m_Subscription->Take();
    if (!batch.changes.empty() || batch.merged > 0) {
        Write(CoreJson::ChangesText(batch), false);
    }
}

void WebSocketSession::Write(std::string frame, bool answer) {
    m_Writing = true;
    m_Frame = std::move(frame);
    m_Socket->async_write(net::buffer(m_Frame), [self = shared_from_this(),
                                                 answer](beast::error_code error, std::size_t) {
        self->OnWrite(error, answer);
    });
}

void WebSocketSession::OnWrite(beast::error_code error, bool answer) {
    m_Writing = false;
    if (error) {
        End();
        return;
    }
    if (answer && !m_Closing) {
        Read(); // the answer went out: the client's next message may come
    }
    Pump();
}

void WebSocketSession::CloseNow() {
    if (m_Ended) {
        return;
    }
    m_Writing = true; // nothing more is written after the close frame
    ArmCloseTimer();
    m_Socket->async_close(
        websocket::close_reason(websocket::close_code::going_away, "the service is stopping"),
        [self = shared_from_this()](beast::error_code) { self->End(); });
}

void WebSocketSession::ArmCloseTimer() {
    if (m_Ended) {
        return;
    }
    m_CloseTimer.expires_after(kCloseTimeout);
    m_CloseTimer.async_wait([self = shared_from_this()](beast::error_code error) {
        if (!error) {
            self->End(); // the client does not take the close
        }
    });
}

void WebSocketSession::End() {
    if (m_Ended) {
        return;
    }
    m_Ended = true;
    m_Subscription.reset();
    m_CloseTimer.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(*m_Socket).socket().close(ignored);
}

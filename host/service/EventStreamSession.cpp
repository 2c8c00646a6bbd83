#include "service/EventStreamSession.h"

#include "json/CoreJson.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

namespace beast = boost::beast;
namespace net = boost::asio;

EventStreamSession::EventStreamSession(net::any_io_executor strand)
    : m_Strand(std::move(strand)), m_Heartbeat(m_Strand) {}

std::string EventStreamSession::Event(const std::string& json) {
    return "data: " + json + "\n\n";
}

Subscription::Notify EventStreamSession::Notifier() {
    return [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            net::post(self->m_Strand, [self] { self->Pump(); });
        }
    };
}

void EventStreamSession::Start(beast::tcp_stream&& stream, std::string head,
                               std::shared_ptr<Subscription> subscription,
                               std::shared_ptr<void> owner) {
    m_Subscription = std::move(subscription);
    m_Owner = std::move(owner);
    m_Stream.emplace(std::move(stream));
    Write(std::move(head));
    Watch();
    Beat();
}

void EventStreamSession::Close() {
    net::post(m_Strand, [self = shared_from_this()] { self->End(); });
}

// Reads whatever the client sends, only to learn when it goes away.
void EventStreamSession::Watch() {
    m_Stream->socket().async_read_some(
        net::buffer(m_Discard), [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) {
                self->End();
            } else {
                self->Watch();
            }
        });
}

void EventStreamSession::Beat() {
    m_Heartbeat.expires_after(kHeartbeat);
    m_Heartbeat.async_wait([self = shared_from_this()](beast::error_code error) {
        if (!error && !self->m_Ended) {
            self->m_BeatDue = true;
            self->Pump();
            self->Beat();
        }
    });
}

void EventStreamSession::Pump() {
    if (m_Writing || m_Ended) {
        return;
    }
    const ChangeBatch batch = m_Subscription->Take();
    if (!batch.changes.empty() || batch.merged > 0) {
        Write(Event(CoreJson::ChangesText(batch)));
    } else if (m_BeatDue) {
        Write(": keep-alive\n\n");
    }
}

void EventStreamSession::Write(std::string text) {
    m_Writing = true;
    m_BeatDue = false;
    m_Text = std::move(text);
    m_Stream->expires_after(kWriteTimeout);
    net::async_write(*m_Stream, net::buffer(m_Text),
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                         self->m_Writing = false;
                         if (error) {
                             self->End();
                             return;
                         }
                         self->Pump();
                     });
}

// Closes the connection; the client sees the stream end.
void EventStreamSession::End() {
    if (m_Ended) {
        return;
    }
    m_Ended = true;
    m_Subscription.reset();
    m_Heartbeat.cancel();
    beast::error_code ignored;
    m_Stream->socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
    m_Stream->close();
}

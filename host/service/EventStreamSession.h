#pragma once

#include "core/Subscription.h"

#include <boost/asio/any_io_executor.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

// One client of a subscription as server-sent events: the answer's header, a first
// "subscribed" event, then one "data:" event per batch of changes, until the client goes
// away or the service stops; the connection is not used for another request. As over a
// WebSocket, one write at a time: changes wait in the subscription's bounded queue (merged)
// while a write is out. A comment line every kHeartbeat keeps an idle stream seen alive, and
// a write that cannot go out within kWriteTimeout ends the stream.
class EventStreamSession : public std::enable_shared_from_this<EventStreamSession> {
public:
    static constexpr std::chrono::seconds kHeartbeat{15};
    static constexpr std::chrono::seconds kWriteTimeout{60};

    explicit EventStreamSession(boost::asio::any_io_executor strand);

    // What the subscription calls when changes wait; it holds the session weakly.
    Subscription::Notify Notifier();
    // Sends `head` (the answer's header and the first event), then the changes. owner is kept
    // as long as the stream lives.
    void Start(boost::beast::tcp_stream&& stream, std::string head,
               std::shared_ptr<Subscription> subscription, std::shared_ptr<void> owner);
    // Ends the stream (from any thread).
    void Close();

    // "data: <json>\n\n"; the JSON is on one line.
    static std::string Event(const std::string& json);

private:
    void Watch();
    void Beat();
    void Pump();
    void Write(std::string text);
    void End();

    boost::asio::any_io_executor m_Strand;
    std::optional<boost::beast::tcp_stream> m_Stream;
    boost::asio::steady_timer m_Heartbeat;
    std::shared_ptr<Subscription> m_Subscription;
    std::shared_ptr<void> m_Owner;
    std::string m_Text; // being written
    std::array<char, 1024> m_Discard{};
    // Touched on the strand only:
    bool m_Writing = false;
    bool m_BeatDue = false;
    bool m_Ended = false;
};

#pragma once

#include "core/Subscription.h"

#include <boost/asio/any_io_executor.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// One WebSocket client of a subscription. The client sends JSON text messages (subscribe,
// unsubscribe) and reads their answers and, for each batch its subscription has, the changes.
// One frame is written at a time: when the sampler tells of changes, they are taken only once
// the last frame went out, so a slow client gets fewer, merged batches instead of a growing
// buffer. The next message is read once the last one's answer went out. A subscribe, which
// counts and locates every leaf of its names, runs on the service's workers, never on the
// connection's thread.
class SubscribeMessage;

class WebSocketSession : public std::enable_shared_from_this<WebSocketSession> {
public:
    using Request = boost::beast::http::request<boost::beast::http::string_body>;
    // Runs a job on the service's workers; false when they are too busy to take it.
    using Runner = std::function<bool(std::function<void()>)>;

    static constexpr std::size_t kMaxMessage = 1024 * 1024;
    // How long a client has to answer the close of a stop before the connection is cut.
    static constexpr std::chrono::seconds kCloseTimeout{2};

    // strand: the executor of the connection the upgrade came on.
    explicit WebSocketSession(boost::asio::any_io_executor strand);

    // What the subscription calls when changes wait; it holds the session weakly.
    Subscription::Notify Notifier();
    // Answers the upgrade and serves the subscription until either side closes. owner is kept
    // as long as the connection lives (the HTTP connection it came on, which the service
    // counts and stops).
    void Start(boost::beast::tcp_stream&& stream, Request&& request,
               std::shared_ptr<Subscription> subscription, Runner run, std::shared_ptr<void> owner);
    // Ends the subscription and closes the connection with "going away" (from any thread).
    void Close();

private:
    void OnAccept(boost::beast::error_code error);
    void Read();
    void OnRead(boost::beast::error_code error);
    void Answer(std::string_view text);
    // Subscribes on a worker; the answer comes back to the strand.
    void SubscribeOnWorker(const SubscribeMessage& message);
    void Pump();
    void Write(std::string frame, bool answer);
    void OnWrite(boost::beast::error_code error, bool answer);
    void CloseNow();
    void ArmCloseTimer();
    void End();

    boost::asio::any_io_executor m_Strand;
    std::optional<boost::beast::websocket::stream<boost::beast::tcp_stream>> m_Socket;
    Request m_Request; // the upgrade, kept until it is answered
    boost::beast::flat_buffer m_Buffer;
    boost::asio::steady_timer m_CloseTimer;
    std::shared_ptr<Subscription> m_Subscription;
    Runner m_Run;
    std::shared_ptr<void> m_Owner;
    std::string m_Frame;                // being written
    std::optional<std::string> m_Reply; // an answer waiting to be written
    // Touched on the strand only:
    bool m_Open = false;    // the handshake is done
    bool m_Writing = false; // a frame is being written
    bool m_Closing = false; // the service stops
    bool m_Ended = false;
};

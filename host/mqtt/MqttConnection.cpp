#include "mqtt/MqttConnection.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <mutex>

namespace {

constexpr unsigned kFirstDelaySeconds = 1;
constexpr unsigned kLastDelaySeconds = 30;
constexpr int kKeepAliveSeconds = 30;
constexpr int kDisconnectWithWill = 4; // MQTT 5 reason code
// QoS 1 messages on the wire before an acknowledgement (the library's default is 20, which at
// thousands of changes a second makes each wait for the round trips of those before it); the
// broker's receive maximum lowers it.
constexpr int kSendMaximum = 1000;

std::once_flag g_LibraryReady;

std::string ErrorText(int rc) {
    return rc == MOSQ_ERR_ERRNO ? std::string("cannot reach the broker")
                                : std::string(mosquitto_strerror(rc));
}

} // namespace

struct MqttCallbacks {
    static void Connect(mosquitto* /*client*/, void* data, int rc, int /*flags*/,
                        const mosquitto_property* /*props*/) {
        auto* self = static_cast<MqttConnection*>(data);
        if (rc != 0) {
            self->m_Handlers.trouble(std::string("the broker refused the connection: ") +
                                     mosquitto_reason_string(rc));
            return;
        }
        // Subscribed anew at each connect: a clean session keeps nothing.
        if (!self->m_Subscription.empty()) {
            const int subscribed = mosquitto_subscribe_v5(
                self->m_Client, nullptr, self->m_Subscription.c_str(), self->m_Broker.qos,
                MQTT_SUB_OPT_NO_LOCAL | MQTT_SUB_OPT_SEND_RETAIN_NEVER, nullptr);
            if (subscribed != MOSQ_ERR_SUCCESS) {
                self->m_Handlers.trouble("cannot subscribe to " + self->m_Subscription + ": " +
                                         ErrorText(subscribed));
            }
        }
        // What the library held from the connection before is resent or gone: counted anew, so
        // that a message lost without its callback cannot hold the publisher back for good.
        self->m_InFlight = 0;
        self->m_Connected = true;
        self->m_Handlers.connected();
    }

    static void Disconnect(mosquitto* /*client*/, void* data, int rc,
                           const mosquitto_property* /*props*/) {
        auto* self = static_cast<MqttConnection*>(data);
        const bool was = self->m_Connected.exchange(false);
        if (was && rc != 0) {
            self->m_Handlers.trouble("lost the broker (" + ErrorText(rc) +
                                     "); values are kept until it is back");
        }
    }

    static void Published(mosquitto* /*client*/, void* data, int /*mid*/, int /*reason*/,
                          const mosquitto_property* /*props*/) {
        auto* self = static_cast<MqttConnection*>(data);
        if (self->Release() == MqttConnection::kDrained + 1 && self->m_Handlers.drained) {
            self->m_Handlers.drained();
        }
    }

    static void Message(mosquitto* /*client*/, void* data, const mosquitto_message* message,
                        const mosquitto_property* /*props*/) {
        auto* self = static_cast<MqttConnection*>(data);
        std::string payload(static_cast<const char*>(message->payload),
                            static_cast<std::size_t>(message->payloadlen));
        self->m_Handlers.message(message->topic, std::move(payload));
    }
};

MqttConnection::MqttConnection(const PlantConfig::Mqtt& broker, std::string clientId, Will will,
                               std::string subscription, Handlers handlers)
    : m_Broker(broker), m_ClientId(std::move(clientId)), m_Will(std::move(will)),
      m_Subscription(std::move(subscription)), m_Handlers(std::move(handlers)) {}

MqttConnection::~MqttConnection() {
    Stop();
    if (m_Client != nullptr) {
        mosquitto_destroy(m_Client);
    }
}

bool MqttConnection::Start(std::string& error) {
    // The library's global set-up, once per process, before any client.
    std::call_once(g_LibraryReady, [] { mosquitto_lib_init(); });
    m_Client = mosquitto_new(m_ClientId.c_str(), true, this);
    if (m_Client == nullptr) {
        error = "the MQTT client cannot be made for client id '" + m_ClientId + "'";
        return false;
    }
    mosquitto_int_option(m_Client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_int_option(m_Client, MOSQ_OPT_SEND_MAXIMUM, kSendMaximum);
    mosquitto_connect_v5_callback_set(m_Client, &MqttCallbacks::Connect);
    mosquitto_disconnect_v5_callback_set(m_Client, &MqttCallbacks::Disconnect);
    mosquitto_message_v5_callback_set(m_Client, &MqttCallbacks::Message);
    mosquitto_publish_v5_callback_set(m_Client, &MqttCallbacks::Published);
    mosquitto_reconnect_delay_set(m_Client, kFirstDelaySeconds, kLastDelaySeconds, true);
    int rc = mosquitto_will_set_v5(m_Client, m_Will.topic.c_str(),
                                   static_cast<int>(m_Will.payload.size()), m_Will.payload.data(),
                                   m_Broker.qos, true, nullptr);
    if (rc == MOSQ_ERR_SUCCESS && !m_Broker.username.empty()) {
        rc = mosquitto_username_pw_set(m_Client, m_Broker.username.c_str(),
                                       m_Broker.password.Given() ? m_Broker.password.value.c_str()
                                                                 : nullptr);
    }
    if (rc == MOSQ_ERR_SUCCESS && !m_Broker.caFile.empty()) {
        rc = mosquitto_tls_set(m_Client, m_Broker.caFile.c_str(), nullptr, nullptr, nullptr,
                               nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        error = "MQTT settings refused: " + ErrorText(rc);
        return false;
    }
    // A broker away now is reached later: Retry tries again until the first connect is under
    // way, the library's thread from then on.
    Retry(std::chrono::steady_clock::now());
    return true;
}

void MqttConnection::Retry(std::chrono::steady_clock::time_point now) {
    if (m_Looping || m_Client == nullptr || now < m_NextAttempt) {
        return;
    }
    if (mosquitto_connect_async(m_Client, m_Broker.host.c_str(), m_Broker.port,
                                kKeepAliveSeconds) != MOSQ_ERR_SUCCESS) {
        m_NextAttempt = now + m_Delay;
        m_Delay = std::min(m_Delay * 2, std::chrono::seconds(kLastDelaySeconds));
        return;
    }
    m_Looping = mosquitto_loop_start(m_Client) == MOSQ_ERR_SUCCESS;
}

bool MqttConnection::Publish(const std::string& topic, const std::string& payload, bool retain) {
    if (!m_Connected) {
        return false;
    }
    // Counted before the call: its callback may come first, on the library's thread.
    ++m_InFlight;
    if (mosquitto_publish_v5(m_Client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), m_Broker.qos, retain, nullptr) != MOSQ_ERR_SUCCESS) {
        Release();
        return false;
    }
    return true;
}

std::size_t MqttConnection::Release() {
    // Never below zero: the count may have been reset at a reconnect.
    std::size_t count = m_InFlight.load();
    while (count > 0 && !m_InFlight.compare_exchange_weak(count, count - 1)) {
    }
    return count;
}

void MqttConnection::Stop() {
    if (!m_Looping) {
        return;
    }
    m_Looping = false;
    mosquitto_disconnect_v5(m_Client, kDisconnectWithWill, nullptr);
    mosquitto_loop_stop(m_Client, false);
    m_Connected = false;
}

#pragma once

#include "config/PlantConfig.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

struct mosquitto;

// One client connection to the broker through libmosquitto, threaded: the library's own thread
// connects, reconnects with back-off (1 s doubling to 30 s) and calls the handlers. MQTT 5, so
// that its subscription leaves out this client's own messages and retained ones, and a stop
// has the broker publish the last will.
class MqttConnection {
public:
    static constexpr std::chrono::seconds kFirstDelay{1};
    // The library queues without limit whatever it cannot send at once; past this many messages
    // in flight (queued, or sent and not yet acknowledged), the caller holds back.
    static constexpr std::size_t kMaxInFlight = 10000;
    static constexpr std::size_t kDrained = kMaxInFlight / 2;

    struct Handlers {
        std::function<void()> connected;                        // each (re)connect
        std::function<void(const std::string& reason)> trouble; // a loss, a refusal
        std::function<void(const std::string& topic, std::string payload)> message;
        std::function<void()> drained; // the messages in flight fell to kDrained
    };
    struct Will {
        std::string topic;
        std::string payload;
    };

    MqttConnection(const PlantConfig::Mqtt& broker, std::string clientId, Will will,
                   std::string subscription, Handlers handlers);
    ~MqttConnection();
    MqttConnection(const MqttConnection&) = delete;
    MqttConnection& operator=(const MqttConnection&) = delete;

    // Sets the connection up and starts connecting; never waits for the broker. False with the
    // reason when the settings are refused (TLS file, client id).
    bool Start(std::string& error);
    // Tries the first connect again once its back-off ran out, while none is under way (a
    // broker away at the start: the library retries only a connection it once began).
    void Retry(std::chrono::steady_clock::time_point now);
    // Queues one message; false when it cannot go now (not connected, or refused).
    bool Publish(const std::string& topic, const std::string& payload, bool retain);
    bool Connected() const { return m_Connected; }
    // Messages handed to the library and not yet sent (QoS 0) or acknowledged (QoS 1).
    std::size_t InFlight() const { return m_InFlight; }
    bool Full() const { return m_InFlight >= kMaxInFlight; }
    // Disconnects, having the broker publish the last will, and ends the library's thread.
    void Stop();

private:
    friend struct MqttCallbacks; // the library's callbacks, on its thread

    // One message in flight less; the count before.
    std::size_t Release();

    PlantConfig::Mqtt m_Broker;
    std::string m_ClientId;
    Will m_Will;
    std::string m_Subscription;
    Handlers m_Handlers;
    mosquitto* m_Client = nullptr;
    bool m_Looping = false; // the library's thread runs; only the publisher's thread sets it
    std::chrono::steady_clock::time_point m_NextAttempt;
    std::chrono::seconds m_Delay{kFirstDelay};
    std::atomic<bool> m_Connected{false};
    std::atomic<std::size_t> m_InFlight{0};
};

#pragma once

#include "config/PlantConfig.h"
#include "core/Subscription.h"
#include "mqtt/MqttConnection.h"
#include "mqtt/MqttSource.h"
#include "mqtt/MqttStatus.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

// Publishes one program's items to the broker on its own connection (each dictionary has its
// own state topic and last will), and writes what arrives on an item's set topic. Its thread
// takes the subscription's changes and keeps the newest payload of each item: sent at once
// while connected, kept (the last value only) while the broker is away and sent on reconnect.
// The sampler only queues changes and wakes it, so a broker away never blocks the sampler. A
// broker that is slow or stalled is treated the same: past MqttConnection::kMaxInFlight messages
// not yet acknowledged, only each item's last value is kept until it catches up.
class ProgramPublisher {
public:
    using Log = std::function<void(const std::string&)>;

    static constexpr std::size_t kMaxWrites = 1000; // waiting set messages
    static constexpr std::size_t kMaxWritePayload = 64 * 1024;

    ProgramPublisher(const PlantConfig::Mqtt& broker, std::string clientId, MqttSource source,
                     Log log);
    ~ProgramPublisher();
    ProgramPublisher(const ProgramPublisher&) = delete;
    ProgramPublisher& operator=(const ProgramPublisher&) = delete;

    bool Start(std::string& error);
    // Publishes nothing more; the broker publishes the offline state.
    void Stop();
    // Takes the program's publish settings and writability anew, when they changed (false when
    // not): its thread makes the items again. The thread that started it only.
    bool Reconfigure(const MqttSource& source);
    // Whether it publishes this served program (the same sampler, so the same program object).
    bool Serves(const MqttSource& source) const { return source.sampler == m_Source.sampler; }
    MqttStatus Status() const;
    const std::string& Dictionary() const { return m_Source.dictionary; }

private:
    using Clock = std::chrono::steady_clock;

    // What the sampler's notification and the library's thread reach; may outlive the publisher.
    struct Wake {
        std::mutex mutex;
        std::condition_variable changed;
        bool ready = false;
    };
    struct Entry {
        std::string payload;
        Clock::time_point sent;
        bool dirty = false;
        bool known = false; // has a value to send again
    };
    struct Settings {
        PlantConfig::Publish publish;
        bool writable = false;
    };
    struct SetMessage {
        std::string levels; // below the dictionary, without "/set"
        std::string payload;
    };

    void Run();
    void Signal();
    void Follow(); // the program in service: items again on a reload, state
    // `again`: every item subscribed anew (the interval or deadband changed), else only new ones.
    void Resubscribe(const Program& program, bool again = false);
    void Apply(Settings settings);
    void Withdraw(const std::vector<std::string>& names);
    void TakeChanges();
    void Flush();
    void Resend(Clock::time_point now);
    void PublishState();
    void Writes();
    std::string WriteResult(const SetMessage& message) const;
    void OnMessage(const std::string& topic, std::string payload);
    std::string Topic(const std::string& levels) const;

    PlantConfig::Mqtt m_Broker;
    MqttSource m_Source;
    Log m_Log;
    std::string m_Base; // prefix/dictionary/
    std::shared_ptr<Wake> m_Wake;
    std::shared_ptr<Subscription> m_Subscription;
    std::unique_ptr<MqttConnection> m_Connection;
    std::thread m_Thread;
    bool m_Stopping = false;        // m_Wake->mutex
    bool m_Reconnected = false;     // m_Wake->mutex
    std::deque<SetMessage> m_Sets;  // m_Wake->mutex
    std::optional<Settings> m_Next; // m_Wake->mutex
    Settings m_Given;               // the thread that started it
    bool m_Held = false;            // the publisher's thread: the broker is behind
    // The publisher's thread only:
    std::shared_ptr<const Program> m_Program;
    std::set<std::string> m_Names;
    std::unordered_map<std::string, Entry> m_Entries; // by topic
    std::deque<std::string> m_Order;                  // dirty topics, oldest first
    Clock::time_point m_NextResend;
    mutable std::mutex m_StatusMutex;
    MqttStatus m_Status;
};

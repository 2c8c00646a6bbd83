#pragma once

#include "core/Sampler.h"
#include "core/Subscription.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

// One subscriber that waits for its changes one at a time, for front ends that pull them (the
// command line, Python). The sampler's notification wakes a waiter; Close ends the
// subscription and wakes every waiter, from any thread.
class ChangeStream {
public:
    using Clock = std::chrono::steady_clock;

    explicit ChangeStream(const std::shared_ptr<Sampler>& sampler);
    ~ChangeStream();
    ChangeStream(const ChangeStream&) = delete;
    ChangeStream& operator=(const ChangeStream&) = delete;

    // Subscribes on the stream's subscription; an error once closed.
    SubscribeAnswer Subscribe(const SubscribeRequest& request);
    // The next change, waiting for one until `deadline`; nothing when none came by then or the
    // stream is closed.
    std::optional<SampledChange> Next(Clock::time_point deadline);
    // Ends the subscription; changes not yet taken are dropped. Safe to call twice.
    void Close();
    bool Closed() const;
    // How many changes the queue merged into newer ones since the stream opened.
    std::size_t Merged() const;

private:
    // What the sampler's notification reaches; it may outlive the stream.
    struct Wake {
        std::mutex mutex;
        std::condition_variable arrived;
        bool ready = false;
        bool closed = false;
    };

    std::shared_ptr<Wake> m_Wake;
    std::shared_ptr<Subscription> m_Subscription; // guarded by m_Wake->mutex
    std::deque<SampledChange> m_Pending;          // taken, not yet handed out; same lock
    std::size_t m_Merged = 0;                     // same lock
};

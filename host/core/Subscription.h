#pragma once

#include "core/ChangeQueue.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class Sampler;

// What a client asks to monitor: names (a structure, array or function block stands for its
// leaves), a sampling interval (none: the default) and an absolute deadband for numbers.
struct SubscribeRequest {
    std::vector<std::string> names;
    std::optional<std::chrono::milliseconds> interval;
    double deadband = 0;
};

// The answer to a subscribe: the names now monitored and the interval they got, with a note
// when the interval asked was raised or lowered into the allowed range; or why nothing was
// subscribed.
struct SubscribeAnswer {
    std::string error;
    std::vector<std::string> subscribed;
    std::chrono::milliseconds interval{0};
    std::string note;

    bool Ok() const { return error.empty(); }
};

// One subscriber's monitored items and the changes waiting for it. The sampler compares each
// sample with what this subscriber was last sent (its own deadband) and queues what changed;
// the subscriber takes them when it can. The first sample of an item is sent whatever it is,
// an error once until the item recovers.
class Subscription {
public:
    // Told, on the sampler's thread, when changes wait in an empty queue. It may be called
    // while or just after the subscription closes, so it must hold what it needs itself.
    using Notify = std::function<void()>;

    Subscription(std::shared_ptr<Sampler> sampler, Notify notify);
    ~Subscription();
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;

    // Adds the names, or gives a name already monitored the new interval and deadband.
    SubscribeAnswer Subscribe(const SubscribeRequest& request);
    // Stops monitoring the names; returns those that were monitored.
    std::vector<std::string> Unsubscribe(const std::vector<std::string>& names);
    // The changes waiting, and how many were merged since the last take.
    ChangeBatch Take();
    std::size_t ItemCount() const;

private:
    friend class Sampler;

    enum class LeafState { Unsent, Value, Error };
    struct Leaf {
        LeafState state = LeafState::Unsent;
        std::optional<Value> sent;
    };
    struct Item {
        std::size_t slot = 0;
        double deadband = 0;
        std::size_t counted = 0;        // leaves counted at subscribe
        std::vector<std::string> paths; // of the leaves last sampled
        const void* layout = nullptr;   // where they were located
        std::vector<Leaf> leaves;       // what was sent, one per path
    };

    // Compares the item's new leaves with what was sent; the changes go to `out`. Called by
    // the sampler under its lock.
    // `layout` tells where the leaves were located: while it stays the same, so do their paths.
    void Compare(Item& item, const std::vector<ValueResult>& leaves, const void* layout,
                 std::chrono::system_clock::time_point time, std::vector<SampledChange>& out);
    void Reconcile(Item& item, const std::vector<ValueResult>& leaves);
    // Queues the changes; true when the queue was empty before.
    bool Deliver(std::vector<SampledChange>& changes);

    std::shared_ptr<Sampler> m_Sampler;
    Notify m_Notify;
    std::unordered_map<std::string, Item> m_Items; // by name as asked; the sampler's lock
    std::size_t m_Leaves = 0;                      // leaves counted at subscribe; same lock
    std::vector<SampledChange> m_Pending;          // a tick's changes; same lock
    mutable std::mutex m_QueueMutex;
    ChangeQueue m_Queue;
};

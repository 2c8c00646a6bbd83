#pragma once

#include "core/Program.h"
#include "core/Subscription.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Samples the monitored items of one dictionary's memory for every subscriber. Items are kept
// by name and interval: one read serves every subscriber of the same item and interval, and
// every item due at a tick is read in one batch (neighbouring registers in one request).
// Names are resolved on the program in service at each tick, so a reload keeps every
// subscription: a name that no longer resolves gets its error, and its value when it is back.
class Sampler : public std::enable_shared_from_this<Sampler> {
public:
    using Clock = std::chrono::steady_clock;
    using Source = std::function<std::shared_ptr<const Program>()>;

    struct Settings {
        std::chrono::milliseconds minimum{10};
        std::chrono::milliseconds maximum{3600000};
        std::chrono::milliseconds standard{1000}; // when a request names none
        std::size_t maxValues = 10000;            // leaves per subscription
        bool ownThread = true;                    // false: the owner calls SampleDue
    };

    // The shortest interval on a PLC and on a memory image.
    static constexpr std::chrono::milliseconds kPlcMinimum{50};
    static constexpr std::chrono::milliseconds kImageMinimum{10};

    // The settings of a memory of that kind: a PLC is not sampled faster than kPlcMinimum.
    static Settings For(MemoryKind kind);
    static std::shared_ptr<Sampler> Create(Source source, Settings settings);
    ~Sampler();
    Sampler(const Sampler&) = delete;
    Sampler& operator=(const Sampler&) = delete;

    // A new subscriber, with nothing monitored yet.
    std::shared_ptr<Subscription> Open(Subscription::Notify notify);
    // Ends sampling for good; the source is not called again. Safe to call twice.
    void Stop();
    // Reads whatever is due at `now` and hands the changes over; with ownThread, the sampler's
    // thread calls it.
    void SampleDue(Clock::time_point now);
    // When the next tick is due (Clock::time_point::max() when nothing is monitored).
    Clock::time_point NextDue() const;
    std::size_t SubscriptionCount() const;
    const Settings& Limits() const { return m_Settings; }

private:
    friend class Subscription;

    // One item read for every subscriber of that name at that interval.
    struct Slot {
        std::string name;
        std::chrono::milliseconds interval{0};
        std::size_t users = 0;
        std::size_t generation = 0;
        bool now = false; // read at the next tick: a subscriber waits for its first value
        // Where its leaves are, found once on the program in service, not at every tick.
        std::shared_ptr<const LocatedItem> located;
        std::weak_ptr<const Program> locatedOn;
        // The last sample, and where its leaves were located.
        std::vector<ValueResult> previous;
        const void* previousLayout = nullptr;
        // Every subscriber's item of this name and interval; whether one has had no value yet.
        std::vector<std::pair<Subscription*, Subscription::Item*>> watchers;
        bool unprimed = false;
    };
    struct Due {
        std::size_t slot;
        std::size_t generation;
        std::string name;
        std::shared_ptr<const LocatedItem> located;
        std::weak_ptr<const Program> locatedOn;
    };
    // The items of one interval tick together.
    struct Tick {
        Clock::time_point next;
        std::size_t slots = 0;
    };

    Sampler(Source source, Settings settings);
    void Run();
    Clock::time_point NextDueLocked() const;
    // The subscriber's item joins the slot of its name and interval; Release lets it go.
    std::size_t Acquire(const std::string& name, std::chrono::milliseconds interval,
                        Subscription* subscription, Subscription::Item* item);
    void Release(std::size_t slot, const Subscription::Item* item);
    void Leave(Subscription* subscription);
    std::chrono::milliseconds Clamp(std::optional<std::chrono::milliseconds> asked,
                                    std::string& note) const;
    std::vector<Due> TakeDue(Clock::time_point now);
    static std::vector<std::vector<ValueResult>>
    ReadDue(const std::shared_ptr<const Program>& program, std::vector<Due>& due);
    void Dispatch(const std::vector<Due>& due, std::vector<std::vector<ValueResult>>& leaves,
                  std::chrono::system_clock::time_point time);

    Source m_Source;
    const Settings m_Settings;
    mutable std::mutex m_Mutex; // guards everything below and the subscriptions' items
    std::condition_variable m_Wake;
    bool m_Stopped = false;
    bool m_Immediate = false; // a slot waits for its first read
    std::vector<Slot> m_Slots;
    std::vector<std::size_t> m_FreeSlots;
    std::map<std::pair<std::string, std::chrono::milliseconds>, std::size_t> m_SlotOf;
    std::map<std::chrono::milliseconds, Tick> m_Ticks; // by interval
    std::set<Subscription*> m_Subscriptions;
    std::thread m_Thread;
};

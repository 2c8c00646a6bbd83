#include "core/Sampler.h"

#include "core/Program.h"

#include <algorithm>
#include <utility>

namespace {

// A result for every leaf of names that could not be read at all.
std::vector<std::vector<ValueResult>> Unavailable(const std::vector<std::string>& names) {
    std::vector<std::vector<ValueResult>> leaves(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        ValueResult& result = leaves[i].emplace_back();
        result.name = names[i];
        result.fault = ValueFault::Memory;
        result.faultPath = names[i];
        result.reason = "the dictionary has no program in service (its file did not import)";
    }
    return leaves;
}

bool RefusedWhole(const std::vector<std::vector<ValueResult>>& leaves) {
    return !leaves.empty() && leaves.front().size() == 1 &&
           leaves.front().front().fault == ValueFault::TooManyLeaves;
}

// The leaves of every name, read in batches within the read bound: a batch refused as too
// large is read in halves, down to the one name that alone holds too many values (its
// error).
std::vector<std::vector<ValueResult>> ReadAll(const Program& program,
                                              const std::vector<std::string>& names) {
    std::vector<std::vector<ValueResult>> leaves;
    leaves.reserve(names.size());
    std::vector<std::pair<std::size_t, std::size_t>> spans; // begin, end; last first
    for (std::size_t begin = names.size(); begin > 0;) {
        const std::size_t start =
            begin > ValueAccess::kMaxLeaves ? begin - ValueAccess::kMaxLeaves : 0;
        spans.emplace_back(start, begin);
        begin = start;
    }
    while (!spans.empty()) {
        const auto [begin, end] = spans.back();
        spans.pop_back();
        std::vector<std::string> part(names.begin() + static_cast<std::ptrdiff_t>(begin),
                                      names.begin() + static_cast<std::ptrdiff_t>(end));
        auto read = program.Values().ReadLeaves(part);
        if (RefusedWhole(read) && end - begin > 1) {
            const std::size_t middle = begin + (end - begin) / 2;
            spans.emplace_back(middle, end);
            spans.emplace_back(begin, middle);
            continue;
        }
        for (auto& item : read) {
            leaves.push_back(std::move(item));
        }
    }
    return leaves;
}

} // namespace

Sampler::Settings Sampler::For(MemoryKind kind) {
    Settings settings;
    settings.minimum = kind == MemoryKind::Modbus ? kPlcMinimum : kImageMinimum;
    return settings;
}

std::shared_ptr<Sampler> Sampler::Create(Source source, Settings settings) {
    return std::shared_ptr<Sampler>(new Sampler(std::move(source), settings));
}

Sampler::Sampler(Source source, Settings settings)
    : m_Source(std::move(source)), m_Settings(settings) {
    if (m_Settings.ownThread) {
        m_Thread = std::thread([this] { Run(); });
    }
}

Sampler::~Sampler() {
    Stop();
}

void Sampler::Stop() {
    {
        const std::lock_guard lock(m_Mutex);
        m_Stopped = true;
        m_Source = nullptr;
    }
    m_Wake.notify_all();
    if (m_Thread.joinable()) {
        // The last owner may let go on the sampler's own thread (in a notification).
        if (m_Thread.get_id() == std::this_thread::get_id()) {
            m_Thread.detach();
        } else {
            m_Thread.join();
        }
    }
}

std::shared_ptr<Subscription> Sampler::Open(Subscription::Notify notify) {
    auto subscription = std::make_shared<Subscription>(shared_from_this(), std::move(notify));
    const std::lock_guard lock(m_Mutex);
    m_Subscriptions.insert(subscription.get());
    return subscription;
}

std::size_t Sampler::SubscriptionCount() const {
    const std::lock_guard lock(m_Mutex);
    return m_Subscriptions.size();
}

void Sampler::Leave(Subscription* subscription) {
    const std::lock_guard lock(m_Mutex);
    for (const auto& [name, item] : subscription->m_Items) {
        Release(item.slot);
    }
    subscription->m_Items.clear();
    subscription->m_Order.clear();
    m_Subscriptions.erase(subscription);
}

std::chrono::milliseconds Sampler::Clamp(std::optional<std::chrono::milliseconds> asked,
                                         std::string& note) const {
    const auto interval = asked.value_or(m_Settings.standard);
    if (interval < m_Settings.minimum) {
        note = "the interval was raised to the minimum of " +
               std::to_string(m_Settings.minimum.count()) + " ms";
        return m_Settings.minimum;
    }
    if (interval > m_Settings.maximum) {
        note = "the interval was lowered to the maximum of " +
               std::to_string(m_Settings.maximum.count()) + " ms";
        return m_Settings.maximum;
    }
    return interval;
}

// The slot of a name at an interval, shared with every subscriber of both; a new one is read
// at the next tick. Under the lock.
std::size_t Sampler::Acquire(const std::string& name, std::chrono::milliseconds interval) {
    const auto key = std::make_pair(name, interval);
    auto found = m_SlotOf.find(key);
    std::size_t slot = 0;
    if (found != m_SlotOf.end()) {
        slot = found->second;
    } else {
        if (m_FreeSlots.empty()) {
            slot = m_Slots.size();
            m_Slots.emplace_back();
        } else {
            slot = m_FreeSlots.back();
            m_FreeSlots.pop_back();
        }
        Slot& fresh = m_Slots[slot];
        fresh.name = name;
        fresh.interval = interval;
        ++fresh.generation;
        m_SlotOf.emplace(key, slot);
        auto [tick, added] = m_Ticks.try_emplace(interval, Tick{Clock::now() + interval, 0});
        ++tick->second.slots;
    }
    ++m_Slots[slot].users;
    m_Slots[slot].now = true;
    m_Immediate = true;
    return slot;
}

void Sampler::Release(std::size_t slot) {
    Slot& used = m_Slots[slot];
    if (--used.users > 0) {
        return;
    }
    m_SlotOf.erase({used.name, used.interval});
    const auto tick = m_Ticks.find(used.interval);
    if (tick != m_Ticks.end() && --tick->second.slots == 0) {
        m_Ticks.erase(tick);
    }
    used.name.clear();
    used.now = false;
    ++used.generation;
    m_FreeSlots.push_back(slot);
}

Sampler::Clock::time_point Sampler::NextDue() const {
    const std::lock_guard lock(m_Mutex);
    return NextDueLocked();
}

Sampler::Clock::time_point Sampler::NextDueLocked() const {
    if (m_Immediate) {
        return Clock::time_point::min();
    }
    auto next = Clock::time_point::max();
    for (const auto& [interval, tick] : m_Ticks) {
        next = std::min(next, tick.next);
    }
    return next;
}

void Sampler::Run() {
    std::unique_lock lock(m_Mutex);
    while (!m_Stopped) {
        const auto next = NextDueLocked();
        const auto now = Clock::now();
        if (next > now) {
            // Woken early by a new item or by Stop; either way, look again.
            m_Wake.wait_until(lock, std::min(next, now + std::chrono::hours(1)));
            continue;
        }
        lock.unlock();
        SampleDue(now);
        lock.lock();
    }
}

// The slots due at `now`, and the ticks moved on by one interval (past ones skipped). Under
// the lock.
std::vector<Sampler::Due> Sampler::TakeDue(Clock::time_point now) {
    std::set<std::chrono::milliseconds> ticking;
    for (auto& [interval, tick] : m_Ticks) {
        if (tick.next <= now) {
            ticking.insert(interval);
            tick.next += interval;
            if (tick.next <= now) {
                tick.next = now + interval;
            }
        }
    }
    m_Immediate = false;
    std::vector<Due> due;
    for (std::size_t i = 0; i < m_Slots.size(); ++i) {
        Slot& slot = m_Slots[i];
        if (slot.users > 0 && (slot.now || ticking.count(slot.interval) > 0)) {
            slot.now = false;
            due.push_back({i, slot.generation});
        }
    }
    return due;
}

void Sampler::SampleDue(Clock::time_point now) {
    std::vector<Due> due;
    std::vector<std::string> names;
    Source source;
    {
        const std::lock_guard lock(m_Mutex);
        if (m_Stopped) {
            return;
        }
        due = TakeDue(now);
        names.reserve(due.size());
        for (const Due& d : due) {
            names.push_back(m_Slots[d.slot].name);
        }
        source = m_Source;
    }
    if (due.empty()) {
        return;
    }
    // The read runs outside the lock: subscribers come and go meanwhile, and a slow PLC holds
    // no one but this thread.
    const std::shared_ptr<const Program> program = source ? source() : nullptr;
    auto leaves = program ? ReadAll(*program, names) : Unavailable(names);
    Dispatch(due, leaves, std::chrono::system_clock::now());
}

// Compares the samples with what each subscriber was sent and queues the changes; the
// subscribers whose queue was empty are told once the lock is let go.
void Sampler::Dispatch(const std::vector<Due>& due, std::vector<std::vector<ValueResult>>& leaves,
                       std::chrono::system_clock::time_point time) {
    std::vector<Subscription::Notify> notify;
    {
        const std::lock_guard lock(m_Mutex);
        std::vector<const std::vector<ValueResult>*> sampled(m_Slots.size(), nullptr);
        for (std::size_t i = 0; i < due.size(); ++i) {
            if (m_Slots[due[i].slot].generation == due[i].generation) {
                sampled[due[i].slot] = &leaves[i];
            }
        }
        std::vector<SampledChange> changes;
        for (Subscription* subscription : m_Subscriptions) {
            changes.clear();
            // In the order the names were subscribed, so that a tick's changes do too.
            for (const std::string& name : subscription->m_Order) {
                Subscription::Item& item = subscription->m_Items.at(name);
                if (const auto* read = sampled[item.slot]) {
                    subscription->Compare(item, *read, time, changes);
                }
            }
            if (!changes.empty() && subscription->Deliver(changes) && subscription->m_Notify) {
                notify.push_back(subscription->m_Notify);
            }
        }
    }
    for (const auto& tell : notify) {
        tell();
    }
}

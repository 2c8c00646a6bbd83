#include "core/Sampler.h"

#include "core/Program.h"

#include <algorithm>
#include <utility>

namespace {

// Every leaf as it was: the same values, or an error again.
bool SameSample(const std::vector<ValueResult>& before, const std::vector<ValueResult>& now) {
    if (before.size() != now.size()) {
        return false;
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (before[i].Ok() != now[i].Ok() || (now[i].Ok() && !(before[i].value == now[i].value))) {
            return false;
        }
    }
    return true;
}

bool SameProgram(const std::weak_ptr<const Program>& located,
                 const std::shared_ptr<const Program>& program) {
    return !located.owner_before(program) && !program.owner_before(located);
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
        Release(item.slot, &item);
    }
    subscription->m_Items.clear();
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
std::size_t Sampler::Acquire(const std::string& name, std::chrono::milliseconds interval,
                             Subscription* subscription, Subscription::Item* item) {
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
    m_Slots[slot].unprimed = true;
    m_Slots[slot].watchers.emplace_back(subscription, item);
    m_Immediate = true;
    return slot;
}

void Sampler::Release(std::size_t slot, const Subscription::Item* item) {
    Slot& used = m_Slots[slot];
    std::erase_if(used.watchers, [item](const auto& watcher) { return watcher.second == item; });
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
    used.located.reset();
    used.previous.clear();
    used.previousLayout = nullptr;
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
            due.push_back({i, slot.generation, slot.name, slot.located, slot.locatedOn});
        }
    }
    return due;
}

void Sampler::SampleDue(Clock::time_point now) {
    std::vector<Due> due;
    Source source;
    {
        const std::lock_guard lock(m_Mutex);
        if (m_Stopped) {
            return;
        }
        due = TakeDue(now);
        source = m_Source;
    }
    if (due.empty()) {
        return;
    }
    // The read runs outside the lock: subscribers come and go meanwhile, and a slow PLC holds
    // no one but this thread.
    auto leaves = ReadDue(source ? source() : nullptr, due);
    Dispatch(due, leaves, std::chrono::system_clock::now());
}

// The leaves of every due item, read in one batch; items are located again when the program
// in service changed. Without a program, every item has the same error.
std::vector<std::vector<ValueResult>>
Sampler::ReadDue(const std::shared_ptr<const Program>& program, std::vector<Due>& due) {
    std::vector<std::vector<ValueResult>> leaves(due.size());
    if (!program) {
        for (std::size_t i = 0; i < due.size(); ++i) {
            ValueResult& result = leaves[i].emplace_back();
            result.name = due[i].name;
            result.fault = ValueFault::Memory;
            result.faultPath = due[i].name;
            result.reason = "the dictionary has no program in service (its file did not import)";
        }
        return leaves;
    }
    std::vector<const LocatedItem*> items;
    items.reserve(due.size());
    for (Due& item : due) {
        if (!item.located || !SameProgram(item.locatedOn, program)) {
            item.located = std::make_shared<LocatedItem>(program->Values().Locate(item.name));
            item.locatedOn = program;
        }
        items.push_back(item.located.get());
    }
    return program->Values().ReadLocated(items);
}

// Compares the samples with what each subscriber was sent and queues the changes; the
// subscribers whose queue was empty are told once the lock is let go. A slot whose sample
// equals the one before changes nothing for subscribers that have had their first value
// (whatever they were sent then still stands), so only slots that moved are compared.
void Sampler::Dispatch(const std::vector<Due>& due, std::vector<std::vector<ValueResult>>& leaves,
                       std::chrono::system_clock::time_point time) {
    std::vector<Subscription::Notify> notify;
    {
        const std::lock_guard lock(m_Mutex);
        std::vector<Subscription*> touched;
        for (std::size_t i = 0; i < due.size(); ++i) {
            Slot& slot = m_Slots[due[i].slot];
            if (slot.generation != due[i].generation) {
                continue; // let go while it was read
            }
            const void* layout = due[i].located.get();
            const bool still = !slot.unprimed && slot.previousLayout == layout &&
                               SameSample(slot.previous, leaves[i]);
            if (!still) {
                for (auto& [subscription, item] : slot.watchers) {
                    if (subscription->m_Pending.empty()) {
                        touched.push_back(subscription);
                    }
                    subscription->Compare(*item, leaves[i], layout, time, subscription->m_Pending);
                }
            }
            slot.unprimed = false;
            slot.located = due[i].located;
            slot.locatedOn = due[i].locatedOn;
            slot.previous = std::move(leaves[i]);
            slot.previousLayout = layout;
        }
        for (Subscription* subscription : touched) {
            if (!subscription->m_Pending.empty() &&
                subscription->Deliver(subscription->m_Pending) && subscription->m_Notify) {
                notify.push_back(subscription->m_Notify);
            }
            subscription->m_Pending.clear();
        }
    }
    for (const auto& tell : notify) {
        tell();
    }
}

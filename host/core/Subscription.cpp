#include "core/Subscription.h"

#include "core/ItemName.h"
#include "core/Program.h"
#include "core/Sampler.h"
#include "text/HostText.h"

#include <cmath>
#include <set>
#include <utility>

namespace {

// Whether a value moved far enough to be sent: numbers by more than the deadband (any change
// with none), everything else on any change. NaN equals NaN here, or it would be sent at
// every tick.
bool Differs(const Value& sent, const Value& now, double deadband) {
    if (sent.IsNumber() && now.IsNumber()) {
        const double a = sent.AsDouble();
        const double b = now.AsDouble();
        if (std::isnan(a) || std::isnan(b)) {
            return std::isnan(a) != std::isnan(b);
        }
        if (deadband > 0) {
            return std::fabs(b - a) > deadband;
        }
    }
    return !(sent == now);
}

bool SamePaths(const std::vector<std::string>& paths, const std::vector<ValueResult>& leaves) {
    if (paths.size() != leaves.size()) {
        return false;
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (paths[i] != leaves[i].name) {
            return false;
        }
    }
    return true;
}

} // namespace

Subscription::Subscription(std::shared_ptr<Sampler> sampler, Notify notify)
    : m_Sampler(std::move(sampler)), m_Notify(std::move(notify)), m_Queue(64) {}

Subscription::~Subscription() {
    m_Sampler->Leave(this);
}

SubscribeAnswer Subscription::Subscribe(const SubscribeRequest& request) {
    SubscribeAnswer answer;
    if (request.names.empty()) {
        answer.error = "name at least one item to subscribe to";
        return answer;
    }
    for (const std::string& name : request.names) {
        const ItemName checked = ItemName::Check(name);
        if (!checked.Ok()) {
            answer.error = QuotedClientText(name) + ": " + checked.Reason();
            return answer;
        }
    }
    if (!std::isfinite(request.deadband) || request.deadband < 0) {
        answer.error = "the deadband must be a number of 0 or more";
        return answer;
    }
    answer.interval = m_Sampler->Clamp(request.interval, answer.note);
    const std::size_t limit = m_Sampler->Limits().maxValues;
    std::vector<std::string> fresh;
    std::size_t held = 0;
    Sampler::Source source;
    {
        const std::lock_guard lock(m_Sampler->m_Mutex);
        std::set<std::string> seen;
        for (const std::string& name : request.names) {
            if (m_Items.count(name) == 0 && seen.insert(name).second) {
                fresh.push_back(name);
            }
        }
        held = m_Leaves;
        source = m_Sampler->m_Source;
    }
    // Structures and arrays count their leaves, browsed on the program in service (no memory
    // is read); a name that does not resolve counts one, its error.
    const auto program = source ? source() : nullptr;
    const std::size_t room = held < limit ? limit - held : 0;
    std::vector<std::size_t> counts(fresh.size(), 1);
    std::size_t added = fresh.size();
    if (program && !fresh.empty()) {
        added = 0;
        for (std::size_t i = 0; i < fresh.size() && added <= room; ++i) {
            counts[i] = std::max<std::size_t>(
                1, program->Values().CountLeaves({fresh[i]}, room - added + 1));
            added += counts[i];
        }
    }
    if (added > room) {
        answer.error = "a subscription holds at most " + std::to_string(limit) +
                       " values (each element and member counts); this one would hold more";
        return answer;
    }
    {
        const std::lock_guard lock(m_Sampler->m_Mutex);
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            Item& item = m_Items[fresh[i]];
            item.slot = m_Sampler->Acquire(fresh[i], answer.interval, this, &item);
            item.counted = counts[i];
            m_Leaves += counts[i];
        }
        for (const std::string& name : request.names) {
            Item& item = m_Items.at(name);
            if (m_Sampler->m_Slots[item.slot].interval != answer.interval) {
                m_Sampler->Release(item.slot, &item);
                item.slot = m_Sampler->Acquire(name, answer.interval, this, &item);
            }
            if (item.deadband != request.deadband) {
                item.deadband = request.deadband;
                m_Sampler->m_Slots[item.slot].unprimed = true; // compared again at once
            }
        }
    }
    m_Sampler->m_Wake.notify_all();
    answer.subscribed = request.names;
    return answer;
}

std::vector<std::string> Subscription::Unsubscribe(const std::vector<std::string>& names) {
    std::vector<std::string> removed;
    const std::lock_guard lock(m_Sampler->m_Mutex);
    for (const std::string& name : names) {
        const auto found = m_Items.find(name);
        if (found == m_Items.end()) {
            continue;
        }
        m_Sampler->Release(found->second.slot, &found->second);
        m_Leaves -= std::min(m_Leaves, found->second.counted);
        m_Items.erase(found);
        removed.push_back(name);
    }
    return removed;
}

ChangeBatch Subscription::Take() {
    const std::lock_guard lock(m_QueueMutex);
    return m_Queue.Take();
}

std::size_t Subscription::ItemCount() const {
    const std::lock_guard lock(m_Sampler->m_Mutex);
    return m_Items.size();
}

void Subscription::Compare(Item& item, const std::vector<ValueResult>& leaves, const void* layout,
                           std::chrono::system_clock::time_point time,
                           std::vector<SampledChange>& out) {
    if (layout == nullptr || layout != item.layout || item.leaves.size() != leaves.size()) {
        if (!SamePaths(item.paths, leaves)) {
            Reconcile(item, leaves);
        }
        item.layout = layout;
    }
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        Leaf& leaf = item.leaves[i];
        const ValueResult& now = leaves[i];
        if (!now.Ok() || !now.value) {
            if (leaf.state == LeafState::Error) {
                continue; // an error is sent once, until the leaf recovers
            }
            leaf.state = LeafState::Error;
            leaf.sent.reset();
        } else if (leaf.state == LeafState::Value &&
                   !Differs(*leaf.sent, *now.value, item.deadband)) {
            continue;
        } else {
            leaf.state = LeafState::Value;
            leaf.sent = now.value;
        }
        out.push_back({now, time});
    }
}

// The item's leaves changed (a first sample, or a reload that changed its type): each leaf
// keeps what was sent under its path; a new leaf is sent whatever it holds.
void Subscription::Reconcile(Item& item, const std::vector<ValueResult>& leaves) {
    std::unordered_map<std::string, Leaf> old;
    for (std::size_t i = 0; i < item.paths.size(); ++i) {
        old.emplace(item.paths[i], std::move(item.leaves[i]));
    }
    item.paths.clear();
    item.leaves.clear();
    for (const ValueResult& leaf : leaves) {
        item.paths.push_back(leaf.name);
        const auto found = old.find(leaf.name);
        item.leaves.push_back(found != old.end() ? std::move(found->second) : Leaf{});
    }
}

bool Subscription::Deliver(std::vector<SampledChange>& changes) {
    const std::lock_guard lock(m_QueueMutex);
    // Room for every leaf's newest change, and as much again before changes are merged.
    m_Queue.SetCapacity(std::max<std::size_t>(64, 2 * m_Leaves));
    bool wasEmpty = m_Queue.Empty();
    for (SampledChange& change : changes) {
        m_Queue.Push(std::move(change));
    }
    return wasEmpty;
}

#include "core/ChangeStream.h"

#include <utility>

ChangeStream::ChangeStream(const std::shared_ptr<Sampler>& sampler)
    : m_Wake(std::make_shared<Wake>()) {
    std::weak_ptr<Wake> weak = m_Wake;
    m_Subscription = sampler->Open([weak] {
        if (const auto wake = weak.lock()) {
            {
                const std::lock_guard lock(wake->mutex);
                wake->ready = true;
            }
            wake->arrived.notify_all();
        }
    });
}

ChangeStream::~ChangeStream() {
    Close();
}

SubscribeAnswer ChangeStream::Subscribe(const SubscribeRequest& request) {
    std::shared_ptr<Subscription> subscription;
    {
        const std::lock_guard lock(m_Wake->mutex);
        subscription = m_Subscription;
    }
    if (!subscription) {
        SubscribeAnswer closed;
        closed.error = "the subscription is closed";
        return closed;
    }
    return subscription->Subscribe(request);
}

std::optional<SampledChange> ChangeStream::Next(Clock::time_point deadline) {
    std::unique_lock lock(m_Wake->mutex);
    while (true) {
        if (m_Wake->closed) {
            return std::nullopt;
        }
        if (!m_Pending.empty()) {
            SampledChange change = std::move(m_Pending.front());
            m_Pending.pop_front();
            return change;
        }
        // Taken under the lock: a notification for a queue emptied here waits for the wait
        // below, so none is lost.
        m_Wake->ready = false;
        ChangeBatch batch = m_Subscription->Take();
        m_Merged += batch.merged;
        if (!batch.changes.empty()) {
            for (SampledChange& change : batch.changes) {
                m_Pending.push_back(std::move(change));
            }
            continue;
        }
        const bool woken = m_Wake->arrived.wait_until(
            lock, deadline, [this] { return m_Wake->ready || m_Wake->closed; });
        if (!woken) {
            return std::nullopt;
        }
    }
}

void ChangeStream::Close() {
    std::shared_ptr<Subscription> subscription;
    {
        const std::lock_guard lock(m_Wake->mutex);
        m_Wake->closed = true;
        subscription = std::move(m_Subscription);
        m_Pending.clear();
    }
    m_Wake->arrived.notify_all();
    // Ends the subscription outside the lock: the sampler's lock is taken there.
    subscription.reset();
}

bool ChangeStream::Closed() const {
    const std::lock_guard lock(m_Wake->mutex);
    return m_Wake->closed;
}

std::size_t ChangeStream::Merged() const {
    const std::lock_guard lock(m_Wake->mutex);
    return m_Merged;
}

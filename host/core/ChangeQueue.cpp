#include "core/ChangeQueue.h"

#include <utility>

bool ChangeQueue::Push(SampledChange change) {
    const bool wasEmpty = m_Changes.empty();
    if (m_Changes.size() >= m_Capacity) {
        Collapse();
        const auto newest = m_Newest.find(change.result.name);
        if (m_Changes.size() >= m_Capacity && newest != m_Newest.end()) {
            m_Changes[newest->second] = std::move(change);
            ++m_Merged;
            return wasEmpty;
        }
    }
    // Leaves are indexed only once the queue has been full: a subscriber that keeps up costs
    // no index.
    if (m_Indexed) {
        m_Newest[change.result.name] = m_Changes.size();
    }
    m_Changes.push_back(std::move(change));
    return wasEmpty;
}

ChangeBatch ChangeQueue::Take() {
    ChangeBatch batch{std::move(m_Changes), m_Merged};
    m_Changes.clear();
    m_Newest.clear();
    m_Indexed = false;
    m_Merged = 0;
    return batch;
}

// Keeps each leaf's newest change, in the order they were sampled, and counts the rest as
// merged.
void ChangeQueue::Collapse() {
    if (!m_Indexed) {
        m_Newest.clear();
        for (std::size_t i = 0; i < m_Changes.size(); ++i) {
            m_Newest[m_Changes[i].result.name] = i;
        }
        m_Indexed = true;
    }
    std::vector<SampledChange> kept;
    kept.reserve(m_Newest.size());
    for (std::size_t i = 0; i < m_Changes.size(); ++i) {
        if (m_Newest.at(m_Changes[i].result.name) == i) {
            kept.push_back(std::move(m_Changes[i]));
        }
    }
    m_Merged += m_Changes.size() - kept.size();
    m_Changes = std::move(kept);
    m_Newest.clear();
    for (std::size_t i = 0; i < m_Changes.size(); ++i) {
        m_Newest[m_Changes[i].result.name] = i;
    }
}

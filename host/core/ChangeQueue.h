#pragma once

#include "core/ValueAccess.h"

#include <chrono>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

// One change of a subscribed leaf: its result (the name is the leaf's full path) and when it
// was sampled.
struct SampledChange {
    ValueResult result;
    std::chrono::system_clock::time_point time;
};

// What a subscriber takes at once: the changes in the order they were sampled, and how many
// older changes were merged into newer ones since the last take.
struct ChangeBatch {
    std::vector<SampledChange> changes;
    std::size_t merged = 0;
};

// The changes waiting for one subscriber, bounded. Once full, each leaf keeps only its newest
// change (the last value wins) and the merged count says how many were dropped; the capacity
// is kept above the number of leaves, so a leaf always has room for its newest change. Not
// synchronised: its owner guards it.
class ChangeQueue {
public:
    explicit ChangeQueue(std::size_t capacity) : m_Capacity(capacity) {}

    void SetCapacity(std::size_t capacity) { m_Capacity = capacity; }
    // Adds a change; true when the queue was empty before it.
    bool Push(SampledChange change);
    // Everything waiting, and the merged count; the queue is left empty.
    ChangeBatch Take();
    bool Empty() const { return m_Changes.empty(); }
    std::size_t Size() const { return m_Changes.size(); }

private:
    void Collapse();

    std::size_t m_Capacity;
    std::vector<SampledChange> m_Changes;
    std::unordered_map<std::string, std::size_t> m_Newest; // leaf path -> its newest change
    bool m_Indexed = false;                                // m_Newest kept up to date
    std::size_t m_Merged = 0;
};

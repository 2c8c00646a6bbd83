#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class CSymbXMLItemDef;
class CSymbXMLDDTDef;

// A map from upper-case name to a record the dictionary owns. Entries are kept in insertion
// order in one array, and an open-addressing index of entry numbers finds a name with one hash.
// Walking the map therefore visits the records in the order they were added, the same on every
// walk, reading memory in sequence, and a walk can resume at any entry found by name. Keys are
// compared with case; callers upper-case them first. Entries are never removed one by one.
template <class Value> class COrderedMap {
public:
    struct Entry {
        std::string first; // the key; must not be changed through an iterator
        Value second;      // the record
    };
    using iterator = typename std::vector<Entry>::iterator;
    using const_iterator = typename std::vector<Entry>::const_iterator;

    // Room for `expected` entries is allocated at once.
    explicit COrderedMap(std::size_t expected = 0);

    iterator begin() { return m_Entries.begin(); }
    iterator end() { return m_Entries.end(); }
    const_iterator begin() const { return m_Entries.begin(); }
    const_iterator end() const { return m_Entries.end(); }
    std::size_t size() const { return m_Entries.size(); }
    bool empty() const { return m_Entries.empty(); }

    iterator find(const std::string& key);
    const_iterator find(const std::string& key) const;
    std::size_t count(const std::string& key) const { return find(key) != end() ? 1 : 0; }
    // The record of a present key; std::out_of_range for an absent one, as the standard maps do.
    Value at(const std::string& key) const;
    // Inserts (key, value) unless the key is present; the iterator names the key's entry.
    std::pair<iterator, bool> emplace(std::string key, Value value);
    // The record of a key, inserting a null one when the key is absent.
    Value& operator[](const std::string& key);
    // Lookups in a batch wait for memory once rather than once per key: the slots of all the
    // keys are fetched ahead (FetchSlot), then their entries (FetchEntry), then they are found.
    // Hints only: nothing is changed.
    static std::uint64_t KeyHash(const std::string& key) { return HashOf(key); }
    void FetchSlot(std::uint64_t hash) const {
        __builtin_prefetch(&m_Slots[(hash >> 32) & (m_Slots.size() - 1)]);
    }
    // The first entry on the key's probe with the key's hash, fetched ahead; null when none.
    const Entry* FetchEntry(std::uint64_t hash) const;
    // Removes every entry (the records are not deleted); the index keeps its size.
    void clear();
    // Room for `entries` without growing the list or the index.
    void reserve(std::size_t entries);

private:
    static constexpr std::uint64_t kFree = 0;
    static constexpr std::size_t kMinSlots = 16;
    static constexpr std::uint64_t kHashBits = ~std::uint64_t{0} << 32;

    static std::size_t SlotsFor(std::size_t entries) {
        std::size_t slots = kMinSlots;
        while (slots < entries * 2) {
            slots *= 2;
        }
        return slots;
    }
    // The hash of a key, placed in the high half of a slot.
    static std::uint64_t HashOf(const std::string& key) {
        return std::uint64_t{std::hash<std::string>{}(key)} << 32;
    }
    static std::uint32_t NumberIn(std::uint64_t slot) { return static_cast<std::uint32_t>(slot); }

    std::size_t SlotOf(const std::string& key, std::uint64_t hash) const;
    void Resize(std::size_t slots);

    std::vector<Entry> m_Entries;
    // Per slot: the key's hash in the high 32 bits, its entry number + 1 in the low 32 bits, so
    // that a probe compares hashes without reading the entries; kFree when empty. A power of two.
    std::vector<std::uint64_t> m_Slots;
};

template <class Value>
inline COrderedMap<Value>::COrderedMap(std::size_t expected) : m_Slots(SlotsFor(expected), kFree) {}

// The slot that holds the key, or the free slot where it would go (linear probing).
template <class Value>
inline std::size_t COrderedMap<Value>::SlotOf(const std::string& key, std::uint64_t hash) const {
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t slot = (hash >> 32) & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t content = m_Slots[slot];
        if (content == kFree) {
            return slot;
        }
        if ((content & kHashBits) == hash && m_Entries[NumberIn(content) - 1].first == key) {
            return slot;
        }
    }
}

template <class Value>
inline const typename COrderedMap<Value>::Entry*
COrderedMap<Value>::FetchEntry(std::uint64_t hash) const {
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t slot = (hash >> 32) & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t content = m_Slots[slot];
        if (content == kFree) {
            return nullptr;
        }
        if ((content & kHashBits) == hash) {
            const Entry* entry = &m_Entries[NumberIn(content) - 1];
            __builtin_prefetch(entry);
            return entry;
        }
    }
}

template <class Value>
inline typename COrderedMap<Value>::iterator COrderedMap<Value>::find(const std::string& key) {
    const std::uint64_t content = m_Slots[SlotOf(key, HashOf(key))];
    return content == kFree ? end() : begin() + (NumberIn(content) - 1);
}

template <class Value>
inline typename COrderedMap<Value>::const_iterator
COrderedMap<Value>::find(const std::string& key) const {
    const std::uint64_t content = m_Slots[SlotOf(key, HashOf(key))];
    return content == kFree ? end() : begin() + (NumberIn(content) - 1);
}

template <class Value> inline Value COrderedMap<Value>::at(const std::string& key) const {
    const auto found = find(key);
    if (found == end()) {
        throw std::out_of_range("no entry named " + key);
    }
    return found->second;
}

template <class Value>
inline std::pair<typename COrderedMap<Value>::iterator, bool>
COrderedMap<Value>::emplace(std::string key, Value value) {
    const std::uint64_t hash = HashOf(key);
    std::size_t slot = SlotOf(key, hash);
    if (m_Slots[slot] != kFree) {
        return {begin() + (NumberIn(m_Slots[slot]) - 1), false};
    }
    if (m_Entries.size() >= std::numeric_limits<std::uint32_t>::max() - 1) {
        throw std::length_error("the map is full");
    }
    if ((m_Entries.size() + 1) * 2 > m_Slots.size()) {
        Resize(m_Slots.size() * 2);
        slot = SlotOf(key, hash);
    }
    m_Entries.push_back({std::move(key), value});
    m_Slots[slot] = hash | m_Entries.size();
    return {end() - 1, true};
}

template <class Value> inline Value& COrderedMap<Value>::operator[](const std::string& key) {
    return emplace(key, nullptr).first->second;
}

template <class Value> inline void COrderedMap<Value>::clear() {
    m_Entries.clear();
    std::fill(m_Slots.begin(), m_Slots.end(), kFree);
}

template <class Value> inline void COrderedMap<Value>::reserve(std::size_t entries) {
    m_Entries.reserve(entries);
    const std::size_t slots = SlotsFor(entries);
    if (slots > m_Slots.size()) {
        Resize(slots);
    }
}

// Grows the index and enters every entry again.
template <class Value> inline void COrderedMap<Value>::Resize(std::size_t slots) {
    m_Slots.assign(slots, kFree);
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t i = 0; i < m_Entries.size(); ++i) {
        const std::uint64_t hash = HashOf(m_Entries[i].first);
        std::size_t slot = (hash >> 32) & mask;
        while (m_Slots[slot] != kFree) {
            slot = (slot + 1) & mask;
        }
        m_Slots[slot] = hash | (i + 1);
    }
}

// The dictionary's variables and the catalogue's types by name.
using CItemMap = COrderedMap<CSymbXMLItemDef*>;
using CTypeMap = COrderedMap<CSymbXMLDDTDef*>;

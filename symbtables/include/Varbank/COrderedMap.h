#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
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
    // The entry whose key is `name` upper-cased (ASCII letters), found without making that
    // copy; end() when there is none.
    const_iterator FindUpper(std::string_view name) const;
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
    // The hash of a key, or of a name as FindUpper reads it (upper-cased).
    static std::uint64_t KeyHash(std::string_view key) { return HashOf(key); }
    // True when `key` is `name` upper-cased (ASCII letters).
    static bool IsUpperOf(const std::string& key, std::string_view name);
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
    // The hash of a key's upper-case form, placed in the high half of a slot: a key and any
    // name that upper-cases to it hash alike, so that FindUpper needs no upper-case copy.
    static std::uint64_t HashOf(std::string_view key);
    // Eight bytes with their ASCII letters upper-cased.
    static std::uint64_t UpperWord(std::uint64_t word);
    static std::uint32_t NumberIn(std::uint64_t slot) { return static_cast<std::uint32_t>(slot); }

    std::size_t SlotOf(const std::string& key, std::uint64_t hash) const;
    template <class Equal> std::size_t Probe(std::uint64_t hash, Equal equal) const;
    void Resize(std::size_t slots);

    std::vector<Entry> m_Entries;
    // Per slot: the key's hash in the high 32 bits, its entry number + 1 in the low 32 bits, so
    // that a probe compares hashes without reading the entries; kFree when empty. A power of two.
    std::vector<std::uint64_t> m_Slots;
};

template <class Value>
inline COrderedMap<Value>::COrderedMap(std::size_t expected) : m_Slots(SlotsFor(expected), kFree) {}

template <class Value> inline std::uint64_t COrderedMap<Value>::UpperWord(std::uint64_t word) {
    constexpr std::uint64_t kOnes = 0x0101010101010101U;
    constexpr std::uint64_t kHigh = 0x8080808080808080U;
    // Per byte, on its low seven bits: from 'a' and not past 'z' sets the high bit, and a byte
    // from 0x80 is left alone; the case bit (0x20) of each lower-case letter is then cleared.
    const std::uint64_t low = word & ~kHigh;
    const std::uint64_t fromA = low + kOnes * (0x80 - 'a');
    const std::uint64_t pastZ = low + kOnes * (0x80 - 'z' - 1);
    const std::uint64_t lower = fromA & ~pastZ & ~word & kHigh;
    return word ^ (lower >> 2);
}

template <class Value> inline std::uint64_t COrderedMap<Value>::HashOf(std::string_view key) {
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15U;
    std::uint64_t hash = key.size() * kMultiplier;
    const char* at = key.data();
    std::size_t left = key.size();
    for (; left > 0; at += left < 8 ? left : 8, left -= left < 8 ? left : 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, at, left < 8 ? left : 8);
        hash = (hash ^ UpperWord(word)) * kMultiplier;
        hash ^= hash >> 29;
    }
    // The final mix of MurmurHash3: every bit of the key reaches the low half, the slot's.
    hash ^= hash >> 33;
    hash *= 0xFF51AFD7ED558CCDU;
    hash ^= hash >> 33;
    hash *= 0xC4CEB9FE1A85EC53U;
    hash ^= hash >> 33;
    return hash << 32;
}

template <class Value>
inline bool COrderedMap<Value>::IsUpperOf(const std::string& key, std::string_view name) {
    if (key.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (key[i] != c) {
            return false;
        }
    }
    return true;
}

// The slot whose entry `equal` accepts among those with the hash, or the free slot where it
// would go (linear probing).
template <class Value>
template <class Equal>
inline std::size_t COrderedMap<Value>::Probe(std::uint64_t hash, Equal equal) const {
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t slot = (hash >> 32) & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t content = m_Slots[slot];
        if (content == kFree) {
            return slot;
        }
        if ((content & kHashBits) == hash && equal(m_Entries[NumberIn(content) - 1].first)) {
            return slot;
        }
    }
}

template <class Value>
inline std::size_t COrderedMap<Value>::SlotOf(const std::string& key, std::uint64_t hash) const {
    return Probe(hash, [&key](const std::string& other) { return other == key; });
}

template <class Value>
inline typename COrderedMap<Value>::const_iterator
COrderedMap<Value>::FindUpper(std::string_view name) const {
    const std::uint64_t content = m_Slots[Probe(
        HashOf(name), [name](const std::string& key) { return IsUpperOf(key, name); })];
    return content == kFree ? end() : begin() + (NumberIn(content) - 1);
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

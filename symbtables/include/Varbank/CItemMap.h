#pragma once

#include "PlatformApi.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CSymbXMLItemDef;

// The dictionary's variable map: upper-case name -> variable record. Entries are kept in
// insertion order in one array, and an open-addressing index of entry numbers finds a name with
// one hash. Walking the map therefore visits the records in the order the host inserted them,
// which is the same on every walk and reads memory in sequence, and a walk can resume at any
// entry found by name. Keys are compared with case; callers upper-case them first.
class VARBANK_API CItemMap {
public:
    struct Entry {
        std::string first;       // the key; must not be changed through an iterator
        CSymbXMLItemDef* second; // the record, owned by the dictionary
        std::size_t hash;
    };
    using iterator = std::vector<Entry>::iterator;
    using const_iterator = std::vector<Entry>::const_iterator;

    // Room for `expected` entries is allocated at once.
    explicit CItemMap(std::size_t expected = 0);

    iterator begin() { return m_Entries.begin(); }
    iterator end() { return m_Entries.end(); }
    const_iterator begin() const { return m_Entries.begin(); }
    const_iterator end() const { return m_Entries.end(); }
    std::size_t size() const { return m_Entries.size(); }
    bool empty() const { return m_Entries.empty(); }
    // Slots of the index (twice the entries it holds before it grows, at least).
    std::size_t bucket_count() const { return m_Slots.size(); }

    iterator find(const std::string& key);
    const_iterator find(const std::string& key) const;
    std::size_t count(const std::string& key) const { return find(key) != end() ? 1 : 0; }
    // Inserts (key, item) unless the key is present; the iterator names the key's entry.
    std::pair<iterator, bool> emplace(std::string key, CSymbXMLItemDef* item);
    // The record of a key, inserting a null one when the key is absent.
    CSymbXMLItemDef*& operator[](const std::string& key);
    // Removes a key, keeping the order of the others; costs a pass over the map.
    std::size_t erase(const std::string& key);
    // Removes every entry (the records are not deleted); the index keeps its size.
    void clear();

private:
    static constexpr std::uint32_t kFree = 0;

    std::size_t SlotOf(const std::string& key, std::size_t hash) const;
    void Resize(std::size_t slots);
    void Reindex();

    std::vector<Entry> m_Entries;
    std::vector<std::uint32_t> m_Slots; // entry number + 1, or kFree; a power of two
};

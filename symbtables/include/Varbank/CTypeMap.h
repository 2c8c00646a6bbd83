#pragma once

#include "PlatformApi.h"

#include <cstddef>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class CSymbXMLDDTDef;

// The catalogue's name map: upper-case type name -> type. Entries are kept in insertion order
// in one array, and a hash index of their positions finds a name with one hash, as a plain hash
// map would. Walking the map (the post-load pass, the dump, clean-up) therefore visits the types
// in the order they were added, the same on every walk. Keys are compared with case; callers
// upper-case them first. Entries are never removed one by one.
class VARBANK_API CTypeMap {
public:
    using value_type = std::pair<const std::string, CSymbXMLDDTDef*>;
    using iterator = std::vector<value_type>::iterator;
    using const_iterator = std::vector<value_type>::const_iterator;

    // The index starts with room for `buckets` names.
    explicit CTypeMap(std::size_t buckets = 0);

    iterator begin() { return m_Entries.begin(); }
    iterator end() { return m_Entries.end(); }
    const_iterator begin() const { return m_Entries.begin(); }
    const_iterator end() const { return m_Entries.end(); }
    std::size_t size() const { return m_Entries.size(); }
    bool empty() const { return m_Entries.empty(); }

    iterator find(const std::string& key);
    const_iterator find(const std::string& key) const;
    std::size_t count(const std::string& key) const { return m_Positions.count(key); }
    // The type of a present key; std::out_of_range for an absent one, as the standard maps do.
    CSymbXMLDDTDef* at(const std::string& key) const;
    // Inserts (key, type) unless the key is present; the iterator names the key's entry.
    std::pair<iterator, bool> emplace(std::string key, CSymbXMLDDTDef* type);
    // The type of a key, inserting a null one when the key is absent.
    CSymbXMLDDTDef*& operator[](const std::string& key);
    // Removes every entry (the types are not deleted).
    void clear();

private:
    std::vector<value_type> m_Entries;
    std::unordered_map<std::string, std::size_t> m_Positions; // key -> index in m_Entries
};

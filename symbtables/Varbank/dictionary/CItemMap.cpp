#include "Varbank/CItemMap.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

constexpr std::size_t kMinSlots = 16;

std::size_t SlotsFor(std::size_t entries) {
    std::size_t slots = kMinSlots;
    while (slots < entries * 2) {
        slots *= 2;
    }
    return slots;
}

} // namespace

CItemMap::CItemMap(std::size_t expected) : m_Slots(SlotsFor(expected), kFree) {}

// The slot that holds the key, or the free slot where it would go (linear probing).
std::size_t CItemMap::SlotOf(const std::string& key, std::size_t hash) const {
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t number = m_Slots[slot];
        if (number == kFree) {
            return slot;
        }
        const Entry& entry = m_Entries[number - 1];
        if (entry.hash == hash && entry.first == key) {
            return slot;
        }
    }
}

CItemMap::iterator CItemMap::find(const std::string& key) {
    const std::uint32_t number = m_Slots[SlotOf(key, std::hash<std::string>{}(key))];
    return number == kFree ? end() : begin() + (number - 1);
}

CItemMap::const_iterator CItemMap::find(const std::string& key) const {
    const std::uint32_t number = m_Slots[SlotOf(key, std::hash<std::string>{}(key))];
    return number == kFree ? end() : begin() + (number - 1);
}

std::pair<CItemMap::iterator, bool> CItemMap::emplace(std::string key, CSymbXMLItemDef* item) {
    const std::size_t hash = std::hash<std::string>{}(key);
    std::size_t slot = SlotOf(key, hash);
    if (m_Slots[slot] != kFree) {
        return {begin() + (m_Slots[slot] - 1), false};
    }
    if (m_Entries.size() >= std::numeric_limits<std::uint32_t>::max() - 1) {
        throw std::length_error("the variable map is full");
    }
    if ((m_Entries.size() + 1) * 2 > m_Slots.size()) {
        Resize(m_Slots.size() * 2);
        slot = SlotOf(key, hash);
    }
    m_Entries.push_back({std::move(key), item, hash});
    m_Slots[slot] = static_cast<std::uint32_t>(m_Entries.size());
    return {end() - 1, true};
}

CSymbXMLItemDef*& CItemMap::operator[](const std::string& key) {
    return emplace(key, nullptr).first->second;
}

std::size_t CItemMap::erase(const std::string& key) {
    const auto found = find(key);
    if (found == end()) {
        return 0;
    }
    m_Entries.erase(found);
    Reindex();
    return 1;
}

void CItemMap::clear() {
    m_Entries.clear();
    std::fill(m_Slots.begin(), m_Slots.end(), kFree);
}

void CItemMap::Resize(std::size_t slots) {
    m_Slots.assign(slots, kFree);
    Reindex();
}

void CItemMap::Reindex() {
    std::fill(m_Slots.begin(), m_Slots.end(), kFree);
    const std::size_t mask = m_Slots.size() - 1;
    for (std::size_t i = 0; i < m_Entries.size(); ++i) {
        std::size_t slot = m_Entries[i].hash & mask;
        while (m_Slots[slot] != kFree) {
            slot = (slot + 1) & mask;
        }
        m_Slots[slot] = static_cast<std::uint32_t>(i + 1);
    }
}

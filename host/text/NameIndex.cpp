#include "text/NameIndex.h"

#include "text/HostText.h"

#include <stdexcept>
#include <utility>

namespace {

constexpr std::size_t kMinSlots = 16;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

NameIndex::NameIndex(NameOf nameOf) : m_NameOf(std::move(nameOf)) {}

// FNV-1a over the upper-case bytes.
std::uint64_t NameIndex::Hash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(Upper(c));
        hash *= 1099511628211ULL;
    }
    return hash;
}

void NameIndex::Reserve(std::size_t count) {
    std::size_t slots = kMinSlots;
    while (slots < count * 2) {
        slots *= 2;
    }
    if (slots > m_Slots.size()) {
        Rebuild(slots);
    }
}

std::size_t NameIndex::SlotOf(std::string_view name, std::uint64_t hash) const {
    const std::size_t mask = m_Slots.size() - 1;
    std::size_t slot = static_cast<std::size_t>(hash) & mask;
    while (m_Slots[slot] != 0 && !EqualsNoCase(m_NameOf(m_Slots[slot] - 1), name)) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

std::size_t NameIndex::Insert(std::size_t number) {
    if (number >= UINT32_MAX) {
        throw std::length_error("too many names for one index");
    }
    if ((m_Count + 1) * 2 > m_Slots.size()) {
        Rebuild(m_Slots.empty() ? kMinSlots : m_Slots.size() * 2);
    }
    const std::size_t slot = SlotOf(m_NameOf(number));
    if (m_Slots[slot] != 0) {
        return m_Slots[slot] - 1;
    }
    m_Slots[slot] = static_cast<std::uint32_t>(number + 1);
    ++m_Count;
    return number;
}

void NameIndex::Replace(std::size_t number) {
    const std::size_t held = Insert(number);
    if (held != number) {
        m_Slots[SlotOf(m_NameOf(number))] = static_cast<std::uint32_t>(number + 1);
    }
}

std::optional<std::size_t> NameIndex::Find(std::string_view name) const {
    return Find(name, Hash(name));
}

std::optional<std::size_t> NameIndex::Find(std::string_view name, std::uint64_t hash) const {
    if (m_Count == 0) {
        return std::nullopt;
    }
    const std::uint32_t held = m_Slots[SlotOf(name, hash)];
    return held == 0 ? std::nullopt : std::optional<std::size_t>(held - 1);
}

void NameIndex::FetchSlot(std::uint64_t hash) const {
    if (!m_Slots.empty()) {
        __builtin_prefetch(&m_Slots[static_cast<std::size_t>(hash) & (m_Slots.size() - 1)]);
    }
}

std::optional<std::size_t> NameIndex::Candidate(std::uint64_t hash) const {
    if (m_Slots.empty()) {
        return std::nullopt;
    }
    const std::uint32_t held = m_Slots[static_cast<std::size_t>(hash) & (m_Slots.size() - 1)];
    return held == 0 ? std::nullopt : std::optional<std::size_t>(held - 1);
}

void NameIndex::Rebuild(std::size_t slots) {
    std::vector<std::uint32_t> old = std::exchange(m_Slots, std::vector<std::uint32_t>(slots, 0));
    for (const std::uint32_t held : old) {
        if (held != 0) {
            m_Slots[SlotOf(m_NameOf(held - 1))] = held;
        }
    }
}

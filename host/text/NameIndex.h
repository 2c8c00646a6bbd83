#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

// Finds the entries of a table by name, without case (ASCII), as an upper-case key map would,
// but keeps no copy of the names: the table keeps them and tells them by entry number. One
// 32-bit slot per entry at most half full, so a million names cost 8 MB rather than a map node
// and a key each.
class NameIndex {
public:
    using NameOf = std::function<std::string_view(std::size_t)>;

    explicit NameIndex(NameOf nameOf);

    // Room for `count` entries without growing.
    void Reserve(std::size_t count);
    // Adds entry `number` unless an entry of the same name is present; the number of the entry
    // that holds the name either way (the first one added wins).
    std::size_t Insert(std::size_t number);
    // Entry `number` takes the place of the entry of the same name, or is added.
    void Replace(std::size_t number);
    // The entry of a name, or nothing.
    std::optional<std::size_t> Find(std::string_view name) const;
    // Find of a name whose Hash the caller holds already.
    std::optional<std::size_t> Find(std::string_view name, std::uint64_t hash) const;
    std::size_t Size() const { return m_Count; }
    // A batch of lookups waits for memory once rather than once per name: FetchSlot brings the
    // slot where a name's search starts into the cache ahead, and Candidate then tells the
    // entry held there, for the caller to fetch ahead in turn; both take the name's Hash, which
    // the caller computes once. Hints: Find decides.
    void FetchSlot(std::uint64_t hash) const;
    std::optional<std::size_t> Candidate(std::uint64_t hash) const;

    static std::uint64_t Hash(std::string_view name);

private:
    // The slot that holds the name, or the free slot where it would go.
    std::size_t SlotOf(std::string_view name) const { return SlotOf(name, Hash(name)); }
    std::size_t SlotOf(std::string_view name, std::uint64_t hash) const;
    void Rebuild(std::size_t slots);

    NameOf m_NameOf;
    std::vector<std::uint32_t> m_Slots; // entry number + 1; 0 is free
    std::size_t m_Count = 0;
};

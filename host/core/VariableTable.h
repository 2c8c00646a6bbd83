#pragma once

#include "import/ProjectLayout.h"
#include "text/NameIndex.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The program's variables as the core keeps them once the dictionary is built: the name, the
// type as the program writes it and whether the variable is located, in declaration order.
// Comments, addresses, places and initial values live in the dictionary or are used once at
// open, so they are not kept. Names lie in one text block and types in a table of distinct
// texts (a million variables have few types): 16 bytes a variable beside its name and its slot
// in the name index, where a layout record takes 208 bytes and six strings.
class VariableTable {
public:
    explicit VariableTable(const std::vector<VariableLayout>& variables);
    // The name index tells names through this object: it stays where it was made.
    VariableTable(const VariableTable&) = delete;
    VariableTable& operator=(const VariableTable&) = delete;

    std::size_t Size() const { return m_Entries.size(); }
    std::string_view Name(std::size_t number) const;
    // The type as the program writes it (INT, Motor, ARRAY[1..10] OF INT); valid as long as
    // this object is.
    std::string_view IecType(std::size_t number) const;
    // Declared at an address (AT %MW10).
    bool Located(std::size_t number) const { return m_Entries[number].located != 0; }
    // The number of the variable of that name without case (the first one declared), or nothing.
    std::optional<std::size_t> Find(std::string_view name) const { return m_Index.Find(name); }

    // Find of a name whose Hash the caller holds already.
    std::optional<std::size_t> Find(std::string_view name, std::uint64_t hash) const {
        return m_Index.Find(name, hash);
    }
    static std::uint64_t Hash(std::string_view name) { return NameIndex::Hash(name); }

    // A batch of lookups waits for memory once rather than once per name: fetch every name's
    // slot (by the name's Hash), then the entries the slots hold, then their names' text.
    // Hints only: Find decides.
    void FetchSlot(std::uint64_t hash) const { m_Index.FetchSlot(hash); }
    std::optional<std::size_t> FetchEntry(std::uint64_t hash) const;
    void FetchName(std::size_t number) const;

private:
    struct Entry {
        std::uint64_t nameStart = 0; // in m_Names
        std::uint32_t nameSize = 0;
        std::uint32_t type : 31 = 0; // in m_Types
        std::uint32_t located : 1 = 0;
    };
    static_assert(sizeof(Entry) == 16);

    std::string m_Names;
    std::vector<std::string> m_Types;
    std::vector<Entry> m_Entries;
    NameIndex m_Index;
};

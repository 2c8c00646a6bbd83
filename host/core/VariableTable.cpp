#include "core/VariableTable.h"

#include <unordered_map>

VariableTable::VariableTable(const std::vector<VariableLayout>& variables)
    : m_Index([this](std::size_t number) { return Name(number); }) {
    std::size_t nameBytes = 0;
    for (const VariableLayout& variable : variables) {
        nameBytes += variable.name.size();
    }
    m_Names.reserve(nameBytes);
    m_Entries.reserve(variables.size());
    // Type texts compare with case: each variable gives back the text it was declared with.
    std::unordered_map<std::string_view, std::uint32_t> typeNumbers;
    for (const VariableLayout& variable : variables) {
        Entry entry;
        entry.nameStart = m_Names.size();
        entry.nameSize = static_cast<std::uint32_t>(variable.name.size());
        const auto [found, added] =
            typeNumbers.emplace(variable.IecType(), static_cast<std::uint32_t>(typeNumbers.size()));
        if (added) {
            // Keyed by the layout's own text, which outlives this constructor.
            m_Types.push_back(variable.IecType());
        }
        entry.type = found->second;
        entry.located = variable.address.empty() ? 0 : 1;
        m_Names += variable.name;
        m_Entries.push_back(entry);
    }
    m_Index.Reserve(m_Entries.size());
    for (std::size_t number = 0; number < m_Entries.size(); ++number) {
        m_Index.Insert(number);
    }
}

std::string_view VariableTable::Name(std::size_t number) const {
    const Entry& entry = m_Entries[number];
    return std::string_view(m_Names).substr(entry.nameStart, entry.nameSize);
}

std::string_view VariableTable::IecType(std::size_t number) const {
    return m_Types[m_Entries[number].type];
}

std::optional<std::size_t> VariableTable::FetchEntry(std::uint64_t hash) const {
    const auto number = m_Index.Candidate(hash);
    if (number && *number < m_Entries.size()) {
        __builtin_prefetch(&m_Entries[*number]);
    }
    return number;
}

void VariableTable::FetchName(std::size_t number) const {
    if (number < m_Entries.size()) {
        __builtin_prefetch(m_Names.data() + m_Entries[number].nameStart);
    }
}

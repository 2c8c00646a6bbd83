#include "Varbank/CTypeMap.h"

#include <stdexcept>
#include <utility>

CTypeMap::CTypeMap(std::size_t buckets) {
    m_Positions.rehash(buckets);
}

CTypeMap::iterator CTypeMap::find(const std::string& key) {
    return begin() + (std::as_const(*this).find(key) - m_Entries.cbegin());
}

CTypeMap::const_iterator CTypeMap::find(const std::string& key) const {
    const auto found = m_Positions.find(key);
    return found == m_Positions.end() ? end()
                                      : begin() + static_cast<std::ptrdiff_t>(found->second);
}

CSymbXMLDDTDef* CTypeMap::at(const std::string& key) const {
    const auto found = find(key);
    if (found == end()) {
        throw std::out_of_range("no type named " + key);
    }
    return found->second;
}

std::pair<CTypeMap::iterator, bool> CTypeMap::emplace(std::string key, CSymbXMLDDTDef* type) {
    const auto [position, added] = m_Positions.emplace(key, m_Entries.size());
    if (!added) {
        return {begin() + static_cast<std::ptrdiff_t>(position->second), false};
    }
    try {
        m_Entries.emplace_back(std::move(key), type);
    } catch (...) {
        m_Positions.erase(position); // no index entry without its entry
        throw;
    }
    return {end() - 1, true};
}

CSymbXMLDDTDef*& CTypeMap::operator[](const std::string& key) {
    return emplace(key, nullptr).first->second;
}

void CTypeMap::clear() {
    m_Entries.clear();
    m_Positions.clear();
}

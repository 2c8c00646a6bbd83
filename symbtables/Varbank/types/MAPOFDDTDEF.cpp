#include "MAPOFDDTDEF.h"

#include "CSymbXMLDDTDef.h"
#include "TextFile.h"
#include "TextUtil.h"

MAPOFDDTDEF::MAPOFDDTDEF() {
    m_TypesByName.rehash(kBucketCount);
    m_NamesById.rehash(kBucketCount);
}

MAPOFDDTDEF::~MAPOFDDTDEF() {
    RemoveAllTypes();
}

bool MAPOFDDTDEF::AddType(CSymbXMLDDTDef* type) {
    if (type == nullptr) {
        return false;
    }
    std::string key = ToUpperAscii(type->m_Name);
    const bool hasId = type->m_Id != 0 && type->m_Id <= 0xFFFF;
    const auto id = static_cast<std::uint16_t>(type->m_Id);
    if (m_TypesByName.count(key) != 0 || (hasId && m_NamesById.count(id) != 0)) {
        return false;
    }
    if (hasId) {
        m_NamesById.emplace(id, key);
    }
    m_TypesByName.emplace(std::move(key), type);
    return true;
}

std::int32_t MAPOFDDTDEF::FindTypeInList(const std::string& name, CSymbXMLDDTDef*& type) {
    const std::string key = ToUpperAscii(name);
    const auto found = m_TypesByName.find(key);
    if (found != m_TypesByName.end()) {
        type = found->second;
        return 1;
    }
    type = nullptr;
    if (key.compare(0, 5, "ARRAY") != 0) {
        return 0;
    }
    return BuildArrayTypes(name, key, type);
}

std::int32_t MAPOFDDTDEF::FindTypeInList(std::uint16_t id, CSymbXMLDDTDef*& type) {
    const auto found = m_NamesById.find(id);
    if (found == m_NamesById.end()) {
        type = nullptr;
        return 0;
    }
    const std::string name = found->second;
    return FindTypeInList(name, type);
}

bool MAPOFDDTDEF::IsDFBType(const std::string& name) {
    CSymbXMLDDTDef* type = nullptr;
    return FindTypeInList(name, type) != 0 && type != nullptr && type->IsDFB();
}

bool MAPOFDDTDEF::HasType(const std::string& name) {
    CSymbXMLDDTDef* type = nullptr;
    return FindTypeInList(name, type) != 0;
}

void MAPOFDDTDEF::RemoveAllTypes() {
    for (auto& entry : m_TypesByName) {
        delete entry.second;
        entry.second = nullptr;
    }
    m_TypesByName.clear();
    m_NamesById.clear();
}

bool MAPOFDDTDEF::LoadBinary(CTextFile& file) {
    bool result = true;
    for (auto& entry : m_TypesByName) {
        if (entry.second == nullptr) {
            continue;
        }
        result = entry.second->LoadBinary(file);
        if (!result) {
            break;
        }
    }
    return result;
}

bool MAPOFDDTDEF::SaveBinary(CTextFile& file) {
    file.WriteString(StrFormat("ListType %X\n", static_cast<unsigned>(m_TypesByName.size())));
    bool result = true;
    for (auto& entry : m_TypesByName) {
        if (entry.second == nullptr) {
            continue;
        }
        result = entry.second->SaveBinary(file);
        if (!result) {
            break;
        }
    }
    return result;
}

std::int32_t MAPOFDDTDEF::BuildArrayTypes(const std::string&, const std::string&,
                                          CSymbXMLDDTDef*& type) {
    // Array texts are not parsed yet: an unknown array text is not found.
    type = nullptr;
    return 0;
}

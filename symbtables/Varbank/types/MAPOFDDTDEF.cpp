#include "Varbank/MAPOFDDTDEF.h"

#include "Varbank/CSymbXMLDDTArrayDef.h"
#include "Varbank/CSymbXMLDDTDef.h"
#include "Varbank/TextFile.h"
#include "dictionary/ReadPass.h"
#include "platform/TextUtil.h"

#include <memory>
#include <string_view>

MAPOFDDTDEF::MAPOFDDTDEF() : m_TypesByName(kBucketCount) {
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
    const auto found = m_TypesByName.FindUpper(name);
    if (found != m_TypesByName.end()) {
        type = found->second;
        return 1;
    }
    type = nullptr;
    if (!EqualsNoCaseAscii(std::string_view(name).substr(0, 5), "ARRAY")) {
        return 0;
    }
    const std::string key = ToUpperAscii(name);
    // A read pass must not add types: it has itself run again under the exclusive lock.
    if (CReadPass::Active()) {
        CReadPass::RequireExclusive();
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

bool MAPOFDDTDEF::EachType(bool (CSymbXMLDDTDef::*operation)(CTextFile&), CTextFile& file) {
    for (const auto& entry : m_TypesByName) {
        if (entry.second != nullptr && !(entry.second->*operation)(file)) {
            return false;
        }
    }
    return true;
}

bool MAPOFDDTDEF::LoadBinary(CTextFile& file) {
    return EachType(&CSymbXMLDDTDef::LoadBinary, file);
}

bool MAPOFDDTDEF::SaveBinary(CTextFile& file) {
    file.WriteString(StrFormat("ListType %X\n", static_cast<unsigned>(m_TypesByName.size())));
    return EachType(&CSymbXMLDDTDef::SaveBinary, file);
}

std::int32_t MAPOFDDTDEF::BuildArrayTypes(const std::string& name, const std::string& key,
                                          CSymbXMLDDTDef*& type) {
    // The text as written, not upper-cased: the element type name keeps its case.
    auto parsed = std::make_unique<CSymbXMLDDTArrayDef>(name);
    if (parsed->m_DimCount < 2) {
        type = parsed.get();
        m_TypesByName.emplace(key, parsed.release());
        return 1;
    }
    // The pieces are numbered by the dictionary; a catalogue that has none cannot name them.
    if (m_pOwner == nullptr) {
        return 0;
    }
    CSymbXMLDDTArrayDef* outer = SplitDimensions(*parsed);
    auto copy = std::make_unique<CSymbXMLDDTArrayDef>(*outer);
    m_TypesByName.emplace(key, copy.release());
    type = outer;
    return 1;
}

CSymbXMLDDTArrayDef* MAPOFDDTDEF::SplitDimensions(const CSymbXMLDDTArrayDef& source) {
    // One one-dimensional array per dimension, innermost first, each the element of the next.
    std::string element = source.m_ElementTypeName;
    CSymbXMLDDTArrayDef* piece = nullptr;
    std::int32_t level = 0;
    for (std::int32_t i = source.m_DimCount - 1; i >= 0; --i, ++level) {
        const CSymbXMLDDTArrayDef::Bounds& dim = source.m_Dims[i];
        auto next = std::make_unique<CSymbXMLDDTArrayDef>(
            StrFormat("ARRAY[%i..%i] OF ", dim.low, dim.high) + element);
        next->setAlternateType(&source, level);
        // A host type may already hold a temporary name: take the next free number.
        do {
            CSymbXMLDDTArrayDef::getNextTempArrayName(next->m_Name, m_pOwner);
        } while (m_TypesByName.count(next->m_Name) != 0);
        element = next->m_Name;
        piece = next.get();
        m_TypesByName.emplace(element, next.release());
    }
    return piece;
}

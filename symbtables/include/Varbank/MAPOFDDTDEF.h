#pragma once

#include "COrderedMap.h"
#include "PlatformApi.h"

#include <cstdint>
#include <string>
#include <unordered_map>

class CSymbXMLDDTArrayDef;
class CSymbXMLDDTDef;
class CTextFile;
class CVarbank;

// The dictionary's catalogue of derived types. It owns every type object; array texts that
// are looked up and not yet known are parsed into array types and kept. Its walks (the
// post-load pass, the dump, clean-up) visit the types in the order they were added.
class VARBANK_API MAPOFDDTDEF {
public:
    static constexpr std::size_t kBucketCount = 769;

    MAPOFDDTDEF();
    virtual ~MAPOFDDTDEF();
    MAPOFDDTDEF(const MAPOFDDTDEF&) = delete;
    MAPOFDDTDEF& operator=(const MAPOFDDTDEF&) = delete;

    // Host insertion: stores the type under its upper-cased m_Name, and under m_Id when that is
    // an identifier (1 to 65535). Refuses (false, ownership stays with the caller) a null type,
    // a name already present, or an identifier already given to another type.
    bool AddType(CSymbXMLDDTDef* type);

    // 1 and the type when found (array texts are built on demand); else 0 and null.
    std::int32_t FindTypeInList(const std::string& name, CSymbXMLDDTDef*& type);
    std::int32_t FindTypeInList(std::uint16_t id, CSymbXMLDDTDef*& type);
    bool IsDFBType(const std::string& name);
    bool HasType(const std::string& name);
    // Deletes every type object once and empties both maps.
    void RemoveAllTypes();

    // The type list of the dump: the count, then each type's block in insertion order.
    bool SaveBinary(CTextFile& file);
    bool LoadBinary(CTextFile& file);

    CVarbank* m_pOwner = nullptr;
    CTypeMap m_TypesByName;
    std::unordered_map<std::uint16_t, std::string> m_NamesById;

private:
    // Calls `operation` on each type in insertion order, skipping entries without a type, and
    // stops at the first false; true when every call answered true.
    bool EachType(bool (CSymbXMLDDTDef::*operation)(CTextFile&), CTextFile& file);
    std::int32_t BuildArrayTypes(const std::string& name, const std::string& key,
                                 CSymbXMLDDTDef*& type);
    // Stores one temporary one-dimensional array per dimension of source; returns the outermost.
    CSymbXMLDDTArrayDef* SplitDimensions(const CSymbXMLDDTArrayDef& source);
};

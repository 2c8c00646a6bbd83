#pragma once

#include "CAppParameters.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"

#include <cstdio>
#include <string>

// Fills a dictionary with a generated application of any size: plain variables of every
// elementary type (some located in word memory, some with lower-case names), structures nested
// three deep, one- and two-dimensional arrays, arrays of structures and function blocks.
// Variable i is named V followed by i in seven digits ("v" for every eleventh one).
namespace generated {

inline const char* const kElementaryTypes[] = {"BOOL",  "INT",   "DINT", "REAL", "WORD",  "UINT",
                                               "UDINT", "DWORD", "BYTE", "TIME", "STRING"};
inline constexpr std::uint32_t kElementarySizes[] = {1, 2, 4, 4, 2, 2, 4, 4, 1, 4, 16};

inline CSymbXMLDDTMember* Member(const char* name, const char* type, std::uint32_t offset,
                                 std::uint32_t size, std::uint16_t area = 1,
                                 const char* comment = "") {
    auto* m = new CSymbXMLDDTMember();
    m->m_Name = name;
    m->m_TypeName = type;
    m->m_Offset = offset;
    m->m_Size = size;
    m->m_AreaKind = area;
    m->m_Comment = comment;
    return m;
}

// A new structure or function-block type inserted into the catalogue.
template <class T>
T* AddType(CVarbank& dico, const char* name, std::initializer_list<CSymbXMLDDTMember*> members,
           std::uint32_t id = 0) {
    auto* type = new T();
    type->m_Name = name;
    type->m_Id = id;
    for (CSymbXMLDDTMember* m : members) {
        type->AddMember(m);
    }
    dico.m_Types.AddType(type);
    return type;
}

inline void AddTypes(CVarbank& dico) {
    AddType<CSymbXMLDDTStructDef>(
        dico, "G_L3",
        {Member("A", "INT", 0, 2), Member("B", "REAL", 2, 4), Member("C", "BOOL", 6, 1)});
    AddType<CSymbXMLDDTStructDef>(dico, "G_L2",
                                  {Member("X", "G_L3", 0, 8), Member("Y", "DINT", 8, 4)});
    AddType<CSymbXMLDDTStructDef>(dico, "G_L1",
                                  {Member("P", "G_L2", 0, 12), Member("Q", "INT", 12, 2)});
    AddType<CSymbXMLDFBDef>(
        dico, "G_FB",
        {Member("IN", "BOOL", 0, 1), Member("OUT", "INT", 2, 2), Member("LOC", "DINT", 0, 4, 2)});
}

struct Shape {
    const char* type;
    std::uint32_t size;
};

// Every tenth position cycles through the derived shapes; the others are elementary.
inline Shape ShapeOf(std::size_t i) {
    switch (i % 10) {
    case 6:
        return {"G_L1", 14};
    case 7:
        return {"ARRAY[0..9] OF INT", 20};
    case 8:
        return {"ARRAY[0..3,0..4] OF REAL", 80};
    case 9:
        return (i / 10) % 5 == 0 ? Shape{"G_FB", 4} : Shape{"ARRAY[0..4] OF G_L3", 40};
    default:
        return {kElementaryTypes[i % 11], kElementarySizes[i % 11]};
    }
}

inline std::string NameOf(std::size_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "%c%07zu", i % 11 == 3 ? 'v' : 'V', i);
    return name;
}

// A new variable inserted into the dictionary.
inline CSymbXMLItemDef* Variable(CVarbank& dico, const std::string& name, const std::string& type,
                                 std::uint16_t block = 0, std::uint32_t offset = 0,
                                 std::uint32_t size = 0, const char* address = "",
                                 const char* comment = "") {
    auto* item = new CSymbXMLItemDef();
    item->m_Name = name;
    item->SetType(type, dico.m_Types);
    item->m_Block = block;
    item->m_Offset = offset;
    item->m_Size = size;
    item->m_Address = address;
    item->m_Comment = comment;
    dico.AddItem(item);
    return item;
}

inline void AddVariables(CVarbank& dico, std::size_t count) {
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Shape shape = ShapeOf(i);
        CSymbXMLItemDef* item =
            Variable(dico, NameOf(i), shape.type, 3, offset, shape.size, "", "generated");
        if (i % 13 == 0 && item->IsElementaryType()) {
            item->m_Block = 1; // located in word memory
            item->m_Offset = static_cast<std::uint32_t>(2 * (i % 1000));
            item->m_Address = "%MW" + std::to_string(i % 1000);
        } else {
            offset += (shape.size + 1) & ~1U;
        }
    }
}

inline CAppParameters Parameters() {
    CAppParameters params;
    params.m_Kind = 2;
    params.m_AreasValid = 1;
    params.m_WordArea = {1000, 0, 1, 0};
    params.m_BitArea = {4096, 0, 2, 0};
    return params;
}

// Fills an empty dictionary and completes it, as a host does after loading.
inline void Fill(CVarbank& dico, std::size_t variables) {
    AddTypes(dico);
    AddVariables(dico, variables);
    dico.FinalyzeListOfType();
}

} // namespace generated

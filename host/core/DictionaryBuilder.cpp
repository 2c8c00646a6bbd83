#include "core/DictionaryBuilder.h"

#include "import/layout/LocatedAddress.h"
#include "text/HostText.h"

#include <stdexcept>

std::unique_ptr<CVarbank> DictionaryBuilder::Build(const ProjectLayout& layout,
                                                   const std::string& name,
                                                   const std::string& directory) {
    CAppParameters params;
    params.m_Kind = 2;
    params.m_AreasValid = 1;
    params.m_WordArea = {layout.wordCount, 0, LocatedAddress::kWordBlock, 0};
    params.m_BitArea = {layout.bitCount, 0, LocatedAddress::kBitBlock, 0};
    auto dictionary = std::make_unique<CVarbank>(name, directory, &params);
    // Types first, so that variables of array types find their element types.
    for (std::size_t i = 0; i < layout.composites.size(); ++i) {
        AddType(*dictionary, layout.composites[i], i);
    }
    dictionary->ReserveItems(layout.variables.size());
    for (const VariableLayout& variable : layout.variables) {
        AddVariable(*dictionary, variable);
    }
    for (std::size_t i = 0; i < layout.stamp.size(); ++i) {
        dictionary->m_Stamp[i] = layout.stamp[i];
    }
    // Free texts reach the dump's lines and every client: control characters go in as escapes.
    dictionary->m_HostText = TerminalText(layout.projectName);
    dictionary->m_HostValue = static_cast<std::uint32_t>(layout.composites.size());
    dictionary->FinalyzeListOfType();
    return dictionary;
}

void DictionaryBuilder::AddType(CVarbank& dictionary, const CompositeLayout& composite,
                                std::size_t index) {
    std::unique_ptr<CSymbXMLDDTCompositeDef> type;
    if (composite.functionBlock) {
        type = std::make_unique<CSymbXMLDFBDef>();
    } else {
        type = std::make_unique<CSymbXMLDDTStructDef>();
    }
    type->m_Name = composite.name;
    // Identifiers run from 1; the catalogue indexes only those that fit 16 bits.
    type->m_Id = index + 1 <= 0xFFFF ? static_cast<std::uint32_t>(index + 1) : 0;
    for (const MemberLayout& layout : composite.members) {
        auto member = std::make_unique<CSymbXMLDDTMember>();
        member->m_Name = layout.name;
        member->m_Comment = TerminalText(layout.comment);
        member->m_TypeName = layout.typeName; // codes follow in FinalyzeListOfType
        member->m_Offset = layout.offset;
        member->m_Size = layout.size;
        member->m_AreaKind = layout.areaKind;
        if (!type->AddMember(member.get())) {
            throw std::runtime_error("the dictionary refused member " + layout.name + " of " +
                                     composite.name);
        }
        static_cast<void>(member.release()); // the type owns it now
    }
    if (!dictionary.m_Types.AddType(type.get())) {
        throw std::runtime_error("the dictionary refused type " + composite.name);
    }
    static_cast<void>(type.release()); // the catalogue owns it now
}

void DictionaryBuilder::AddVariable(CVarbank& dictionary, const VariableLayout& variable) {
    auto item = std::make_unique<CSymbXMLItemDef>();
    item->m_Name = variable.name;
    item->m_Comment = TerminalText(variable.comment);
    item->m_InfoText = variable.IecType();
    item->m_Address = variable.address;
    item->SetType(variable.TypeName(), dictionary.m_Types);
    item->m_Block = variable.block;
    item->m_Offset = variable.offset;
    item->m_Size = variable.size;
    item->m_Bit = variable.bit;
    item->m_Attribute = 0;
    if (!dictionary.AddItem(item.get())) {
        throw std::runtime_error("the dictionary refused variable " + variable.name);
    }
    static_cast<void>(item.release()); // the dictionary owns it now
}

#include "import/layout/CompositePlacer.h"

#include "import/layout/AreaCursor.h"
#include "import/layout/LocatedAddress.h"
#include "import/layout/VariableNames.h"
#include "import/types/TypeResolver.h"
#include "text/HostText.h"

#include <algorithm>

namespace {

// External and access variables refer to storage declared elsewhere.
bool HoldsStorage(VarSection section) {
    return section != VarSection::External && section != VarSection::Access;
}

// A member's address is told in its comment: members lie where their composite lies.
std::string AddressNote(const std::string& comment, const std::string& address) {
    const std::string note = "AT " + address;
    return comment.empty() ? note : comment + " (" + note + ")";
}

} // namespace

// Where the next member of a composite goes, and the member names seen so far.
struct CompositePlacer::Areas {
    Kind kind;
    AreaCursor ordinary;
    AreaCursor secondary;
    VariableNames names;
};

CompositePlacer::CompositePlacer(TypeResolver& resolver, Diagnostics& diagnostics)
    : m_Resolver(resolver), m_Diagnostics(diagnostics) {}

std::optional<CompositeLayout> CompositePlacer::Place(const std::string& name,
                                                      const std::vector<VariableDecl>& variables,
                                                      Kind kind, std::size_t line) {
    CompositeLayout layout{name, kind == Kind::FunctionBlock, {}, 0};
    Areas areas{kind, {}, {}, VariableNames(m_Diagnostics, name)};
    bool complete = true;
    for (const VariableDecl& variable : variables) {
        if (HoldsStorage(variable.section)) {
            complete = AddMember(layout, variable, areas) && complete;
        }
    }
    if (!complete) {
        return std::nullopt;
    }
    const std::uint64_t size =
        std::max<std::uint64_t>(AreaCursor::AlignUp(areas.ordinary.End(), 2), 2);
    if (size > AreaCursor::kMax32) {
        m_Diagnostics.Error(line, "the size of " + Quoted(name) + " does not fit 32 bits");
        return std::nullopt;
    }
    layout.size = static_cast<std::uint32_t>(size);
    return layout;
}

bool CompositePlacer::AddMember(CompositeLayout& layout, const VariableDecl& variable,
                                Areas& areas) {
    if (!areas.names.Claim(variable.name, variable.line) || !CheckAddress(variable)) {
        return false;
    }
    if (LocatedAddress::NamesAPlace(variable.address)) {
        if (areas.kind == Kind::Program) {
            return true; // a top-level variable at its address (see VariablePlacer)
        }
        RefuseLocated(layout, variable);
        return false;
    }
    const auto type = m_Resolver.Resolve(variable.type);
    if (!type) {
        return false;
    }
    const bool local =
        variable.section == VarSection::Local || variable.section == VarSection::Temp;
    const std::uint16_t areaKind = layout.functionBlock && local ? 2 : 1;
    if (areaKind == 2 && type->size > kMaxSecondarySize) {
        RefuseLargeLocal(layout, variable, type->size);
        return false;
    }
    AreaCursor& area = areaKind == 2 ? areas.secondary : areas.ordinary;
    const auto offset = area.Place(type->size, type->align);
    if (!offset) {
        m_Diagnostics.Error(variable.line,
                            "the size of " + Quoted(layout.name) + " does not fit 32 bits");
        return false;
    }
    const std::string comment = variable.address.empty()
                                    ? variable.comment
                                    : AddressNote(variable.comment, variable.address);
    layout.members.push_back({variable.name, comment, type->libName, *offset, type->size, areaKind,
                              type->iecName, m_Resolver.InitialValue(variable)});
    return true;
}

bool CompositePlacer::CheckAddress(const VariableDecl& variable) {
    std::string error;
    if (variable.address.empty() || LocatedAddress::Parse(variable.address, error)) {
        return true;
    }
    m_Diagnostics.Error(variable.line, "cannot read the address " + Quoted(variable.address) +
                                           " of " + Quoted(variable.name) + ": " + error);
    return false;
}

void CompositePlacer::RefuseLargeLocal(const CompositeLayout& layout, const VariableDecl& variable,
                                       std::uint32_t size) {
    m_Diagnostics.Error(variable.line, "local " + Quoted(variable.name) + " of function block " +
                                           Quoted(layout.name) + " takes " + std::to_string(size) +
                                           " bytes; a function block's local takes at most " +
                                           std::to_string(kMaxSecondarySize));
}

void CompositePlacer::RefuseLocated(const CompositeLayout& layout, const VariableDecl& variable) {
    const std::string owner =
        (layout.functionBlock ? "function block " : "structure ") + Quoted(layout.name);
    m_Diagnostics.Error(variable.line,
                        Quoted(variable.name) + " of " + owner + " is located at " +
                            variable.address +
                            ": every instance would share that address; declare it in a program "
                            "or as a global, or leave its address incomplete (%I*, %Q*, %M*)");
}

#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TypeResolver;

// Lays out a structure, a function block or the structure of a program's variables: each
// member after the previous one, aligned to its type. A function block's locals have a
// secondary area of their own; everything else shares the ordinary area. Every composite takes
// at least one word and ends on a word boundary, so that instances never share a position and
// arrays of them stay aligned.
//
// A located variable names one place in the PLC, which a member (at its instance's block plus
// its offset) cannot stand for: a program's located variables are left out, to be placed as
// top-level variables; a function block or a structure holding one is refused, since every
// instance would share that address. An incomplete address (%I*) names no place yet, so such
// a variable stays a member and its comment tells the address.
class CompositePlacer {
public:
    enum class Kind { Structure, FunctionBlock, Program };
    // The dictionary keeps a secondary-area member's size in 16 bits, so a larger function-block
    // local is refused.
    static constexpr std::uint32_t kMaxSecondarySize = 65535;

    CompositePlacer(TypeResolver& resolver, Diagnostics& diagnostics);

    // The layout, or nothing when a member or the whole does not fit (each reason reported).
    std::optional<CompositeLayout> Place(const std::string& name,
                                         const std::vector<VariableDecl>& variables, Kind kind,
                                         std::size_t line);

private:
    struct Areas;
    bool AddMember(CompositeLayout& layout, const VariableDecl& variable, Areas& areas);
    bool CheckAddress(const VariableDecl& variable);
    void RefuseLocated(const CompositeLayout& layout, const VariableDecl& variable);
    void RefuseLargeLocal(const CompositeLayout& layout, const VariableDecl& variable,
                          std::uint32_t size);

    TypeResolver& m_Resolver;
    Diagnostics& m_Diagnostics;
};

#pragma once

#include "Diagnostics.h"
#include "ProjectLayout.h"
#include "ProjectModel.h"
#include "TypeResolver.h"

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

// Gives every top-level variable (globals and program instances) its place in the memory
// model: located %M variables where their address says, inputs and outputs one after another
// in their own blocks, everything else one after another in the unlocated block, each aligned
// to its type.
class VariablePlacer {
public:
    VariablePlacer(TypeResolver& resolver, Diagnostics& diagnostics);

    void PlaceGlobal(const VariableDecl& variable);
    void PlaceInstance(const ProgramInstance& instance);

    std::vector<VariableLayout> TakeVariables() { return std::move(m_Variables); }
    // The words and bits that located variables reach: the sizes of the two memory areas.
    std::uint32_t WordCount() const;
    std::uint32_t BitCount() const;

private:
    bool Claim(const std::string& name, std::size_t line);
    bool Locate(VariableLayout& layout, std::uint32_t align, std::size_t line);
    bool Append(VariableLayout& layout, std::uint16_t block, std::uint32_t align, std::size_t line);

    TypeResolver& m_Resolver;
    Diagnostics& m_Diagnostics;
    std::vector<VariableLayout> m_Variables;
    std::unordered_map<std::string, std::size_t> m_Lines; // upper-case name -> line
    std::array<std::uint64_t, 3> m_Next{};                // blocks 3, 4 and 5
    std::uint64_t m_WordBytes = 0;
    std::uint64_t m_Bits = 0;
};

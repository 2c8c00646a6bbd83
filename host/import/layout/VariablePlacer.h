#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"
#include "import/layout/AreaCursor.h"
#include "import/layout/LocatedAddress.h"
#include "import/layout/VariableNames.h"
#include "import/types/TypeResolver.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
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
    std::optional<LocatedAddress> ReadAddress(const VariableLayout& layout, std::size_t line);
    bool Locate(VariableLayout& layout, std::uint32_t align, std::size_t line);
    bool Append(VariableLayout& layout, std::uint16_t block, std::uint32_t align, std::size_t line);
    void BadAddress(const VariableLayout& layout, std::size_t line, const std::string& reason);

    TypeResolver& m_Resolver;
    Diagnostics& m_Diagnostics;
    std::vector<VariableLayout> m_Variables;
    VariableNames m_Names;
    std::array<AreaCursor, 3> m_Areas{}; // blocks 3, 4 and 5
    std::uint64_t m_WordBytes = 0;
    std::uint64_t m_Bits = 0;
};

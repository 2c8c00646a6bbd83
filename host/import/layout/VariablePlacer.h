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
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// Gives every top-level variable its place in the memory model: located variables where their
// address says (%M in the word or bit area, %I and %Q in blocks of their own), location paths
// one slot after another in a block per area, everything else one after another in the
// unlocated block, each aligned to its type. The located variables of a program are top-level
// variables too: one datum, one name, one position.
class VariablePlacer {
public:
    VariablePlacer(TypeResolver& resolver, Diagnostics& diagnostics);

    // Room for `count` variables at once, so that a large program's list is not copied as it grows.
    void Reserve(std::size_t count) {
        m_Variables.reserve(count);
        m_Names.Reserve(count);
    }
    void PlaceGlobal(const VariableDecl& variable);
    // The instance, then the located variables of its program (once per program, however many
    // instances it has).
    void PlaceInstance(const ProgramInstance& instance);

    std::vector<VariableLayout> TakeVariables() { return std::move(m_Variables); }
    // The words and bits that located variables reach: the sizes of the two memory areas.
    std::uint32_t WordCount() const;
    std::uint32_t BitCount() const;
    // How far each block is used (see ProjectLayout::blockEnds).
    std::array<std::uint64_t, LocatedAddress::kBlockCount> BlockEnds() const;

private:
    // note: added to a duplicate-name report.
    void Place(const VariableDecl& variable, const std::string& note);
    void PlaceProgramLocated(const std::string& programName);
    std::optional<LocatedAddress> ReadAddress(const VariableLayout& layout, std::size_t line);
    bool Locate(VariableLayout& layout, std::uint32_t align, std::size_t line);
    bool KeepAsPath(VariableLayout& layout, const LocatedAddress& address, std::uint32_t align,
                    std::size_t line, const std::string& reason);
    bool Append(VariableLayout& layout, std::uint16_t block, std::uint32_t align, std::size_t line);
    void BadAddress(const VariableLayout& layout, std::size_t line, const std::string& reason);

    std::shared_ptr<const VariableType> SharedType(const ResolvedType& type);

    TypeResolver& m_Resolver;
    Diagnostics& m_Diagnostics;
    std::vector<VariableLayout> m_Variables;
    VariableNames m_Names;
    std::unordered_set<std::string> m_ProgramsPlaced; // upper-case program names
    // The types given so far, by both names: variables of one type share its record.
    std::unordered_map<std::string, std::shared_ptr<const VariableType>> m_Types;
    // Blocks filled one variable after another (3, 6, 7, 8), and how far located variables reach
    // into the others, by block number.
    std::array<AreaCursor, LocatedAddress::kBlockCount> m_Cursors{};
    std::array<std::uint64_t, LocatedAddress::kBlockCount> m_Reach{};
};

#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"
#include "import/types/TypeRegistry.h"
#include "import/types/TypeText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Resolves the types of a project to the dictionary's vocabulary: elementary keywords, string
// and array texts, and the named types of the registry, whose structures, function blocks and
// program structures it has laid out. An unknown type, an invalid name, a type that contains
// itself or a size beyond 32 bits is reported with the line it was written on.
class TypeResolver {
public:
    // Types that use types (aliases, arrays, members) nest at most this deep; the reader's own
    // limit on types written inside types is lower, so that it reports those first.
    static constexpr std::size_t kMaxDepth = 128;

    TypeResolver(const ProjectModel& model, Diagnostics& diagnostics);

    std::optional<ResolvedType> Resolve(const TypeRef& ref);
    // The structure made of a program's variables, for an instance of it.
    std::optional<ResolvedType> ResolveProgram(const std::string& name, std::size_t line);
    // Resolves every declared data type and POU, so that errors in unused ones show too.
    void ResolveAllDeclared();

    // The laid-out structures and function blocks, each after the types it uses.
    std::vector<CompositeLayout> TakeComposites() { return std::move(m_Composites); }

private:
    void CollectConstants(const ProjectModel& model);
    std::optional<ResolvedType> ResolveText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveArrayText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveStringText(std::string_view upper, std::size_t line);
    std::optional<ResolvedType> ResolveString(const TypeRef& ref);
    std::optional<ResolvedType> ResolveArray(const TypeText::Bounds& dims,
                                             const ResolvedType& element, std::size_t line);
    std::optional<std::uint64_t> DimensionSize(const std::pair<std::string, std::string>& dim,
                                               std::size_t line, std::string& boundsText);
    std::optional<std::int32_t> Bound(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveNamed(std::string_view name, std::size_t line, bool program);
    std::optional<ResolvedType> Compute(TypeRegistry::Entry& entry);
    std::optional<ResolvedType> ComputeDataType(const DataTypeDecl& type);
    std::optional<ResolvedType> BuildComposite(const std::string& name,
                                               const std::vector<VariableDecl>& variables,
                                               bool functionBlock, std::size_t line);
    // Answers true when the walk is deeper than kMaxDepth; reports the first time only.
    bool TooDeep(std::size_t line);

    Diagnostics& m_Diagnostics;
    TypeRegistry m_Registry;
    std::unordered_map<std::string, std::int64_t> m_Constants; // upper-case name -> value
    std::vector<CompositeLayout> m_Composites;
    std::size_t m_Depth = 0;
    bool m_ReportedTooDeep = false;
};

#pragma once

#include "import/Diagnostics.h"
#include "import/ProjectLayout.h"
#include "import/ProjectModel.h"
#include "import/layout/CompositePlacer.h"
#include "import/types/ConstantTable.h"
#include "import/types/TypeRegistry.h"
#include "import/types/TypeText.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

// Resolves the types of a project to the dictionary's vocabulary: elementary keywords, string
// and array texts, and the named types of the registry, whose structures, function blocks and
// program structures it has laid out. An invalid name, an unknown program, a type that
// contains itself or a size beyond 32 bits is reported with the line it was written on. A type
// that the file names without declaring it is a library type: opaque, without members, of
// kLibraryTypeSize bytes, reported once by ReportLibraryTypes.
class TypeResolver {
public:
    // Types that use types (aliases, arrays, members) nest at most this deep; the reader's own
    // limit on types written inside types is lower, so that it reports those first.
    static constexpr std::size_t kMaxDepth = 128;
    // What a type of a library the file does not contain takes: one word, as an empty
    // structure. Its true size is unknown here.
    static constexpr std::uint32_t kLibraryTypeSize = 2;

    TypeResolver(const ProjectModel& model, Diagnostics& diagnostics);

    std::optional<ResolvedType> Resolve(const TypeRef& ref);
    // The structure made of a program's variables, for an instance of it.
    std::optional<ResolvedType> ResolveProgram(const std::string& name, std::size_t line);
    // The program of that name, once resolved; null when there is none.
    const PouDecl* ProgramDecl(const std::string& name) const;
    // Resolves every declared data type and POU, so that errors in unused ones show too.
    void ResolveAllDeclared();
    // One report per library type, in the order of their first use: a warning, or an error
    // when strict.
    void ReportLibraryTypes(bool strict);

    // What a variable starts with: the value of a constant's integer expression (2 * MAX gives
    // 16), any other initial value as written.
    std::string InitialValue(const VariableDecl& variable);
    // The global constants, as the resolver keeps them once the globals' declarations are
    // freed; a global constant's initial value is asked for with these.
    const std::deque<VariableDecl>& GlobalConstants() const {
        return m_Constants.GlobalConstants();
    }

    // The laid-out structures and function blocks, each after the types it uses.
    std::vector<CompositeLayout> TakeComposites() { return std::move(m_Composites); }
    // The data types, declared or written in place, with their type-level initial values,
    // enumeration values and subrange bounds.
    std::vector<NamedTypeLayout> TakeNamedTypes() { return std::move(m_NamedTypes); }

private:
    // `declared`: the type of a declared data type itself, which names it; any other subrange
    // or enumeration is written in place.
    std::optional<ResolvedType> ResolveType(const TypeRef& ref, bool declared);
    std::optional<ResolvedType> ResolveBase(const TypeRef& ref);
    ResolvedType InPlace(const TypeRef& ref, ResolvedType base);
    // The value of a bound or length, in the scope of the POU being resolved; `what` names it
    // in a report ("array bound").
    std::optional<std::int64_t> Constant(std::string_view what, std::string_view text,
                                         std::size_t line);
    std::optional<ResolvedType> ResolveText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveArrayText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveStringText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveString(const TypeRef& ref);
    std::optional<ResolvedType> ResolveArray(const TypeText::Bounds& dims,
                                             const ResolvedType& element, std::size_t line);
    std::optional<std::uint64_t> DimensionSize(const std::pair<std::string, std::string>& dim,
                                               std::size_t line, std::string& boundsText);
    std::optional<std::int32_t> Bound(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveNamed(std::string_view name, std::size_t line, bool program);
    std::optional<ResolvedType> Compute(TypeRegistry::Entry& entry);
    std::optional<ResolvedType> ComputeEntry(const TypeRegistry::Entry& entry);
    ResolvedType UseLibraryType(TypeRegistry::Entry& entry, std::string_view name,
                                std::size_t line);
    std::optional<ResolvedType> ComputeDataType(const DataTypeDecl& type);
    void KeepNamedType(const DataTypeDecl& type, const std::string& baseType);
    std::optional<std::pair<std::int64_t, std::int64_t>> SubrangeBounds(const TypeRef& ref,
                                                                        std::size_t line);
    std::optional<ResolvedType> BuildComposite(const std::string& name,
                                               const std::vector<VariableDecl>& variables,
                                               CompositePlacer::Kind kind, std::size_t line);
    // Answers true when the walk, at `depth` levels, is deeper than kMaxDepth; reports the first
    // time only, naming the outermost named type being resolved, else `name`.
    bool TooDeep(std::size_t line, std::size_t depth, std::string_view name = {});
    // A resolved named type adds the levels it went through to the walk that uses it, so that
    // a chain of types, each resolved once, is held to the same limit as nesting written out.
    bool ReuseTooDeep(const TypeRegistry::Entry& entry, std::string_view name, std::size_t line);
    static const std::string& EntryName(const TypeRegistry::Entry& entry);

    Diagnostics& m_Diagnostics;
    TypeRegistry m_Registry;
    ConstantTable m_Constants;
    // The POU that each of its variables' types belongs to, and the POU whose variable is being
    // resolved (null outside one): bounds and lengths may name its constants.
    std::unordered_map<const TypeRef*, const PouDecl*> m_Owners;
    const PouDecl* m_Scope = nullptr;
    std::vector<CompositeLayout> m_Composites;
    std::vector<NamedTypeLayout> m_NamedTypes;
    std::unordered_set<std::string> m_InPlaceNames; // upper case, each kept once
    std::size_t m_Depth = 0;
    std::size_t m_Deepest = 0; // the deepest level reached since the current named type began
    std::string m_OuterType;   // the outermost named type being resolved, or empty
    bool m_ReportedTooDeep = false;
};

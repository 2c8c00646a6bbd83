#pragma once

#include "Diagnostics.h"
#include "ProjectLayout.h"
#include "ProjectModel.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// Resolves the types of a project to the dictionary's vocabulary and lays out its structures,
// function blocks and program structures. Named types are resolved once, on first use; a type
// that contains itself, an unknown type, an invalid name or a size beyond 32 bits is reported
// with the line it was written on.
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
    enum class State { Pending, Busy, Done, Failed };
    struct Named {
        Named(const DataTypeDecl* type, const PouDecl* block, std::size_t where)
            : dataType(type), pou(block), line(where) {}

        const DataTypeDecl* dataType = nullptr;
        const PouDecl* pou = nullptr;
        std::size_t line = 0;
        State state = State::Pending;
        ResolvedType result;
    };
    using Bounds = std::vector<std::pair<std::string, std::string>>;
    // Where the next member of a composite goes, and the members seen so far.
    struct MemberCursor {
        std::uint32_t ordinary = 0;
        std::uint32_t secondary = 0;
        std::unordered_map<std::string, std::size_t> lines; // upper-case name -> line
    };

    void Register(const std::string& name, std::size_t line, const Named& entry);
    void CollectConstants(const ProjectModel& model);
    std::optional<ResolvedType> ResolveText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveArrayText(std::string_view text, std::size_t line);
    std::optional<ResolvedType> ResolveStringText(std::string_view upper, std::size_t line);
    std::optional<ResolvedType> ResolveString(const TypeRef& ref);
    std::optional<ResolvedType> ResolveArray(const Bounds& dims, const ResolvedType& element,
                                             std::size_t line);
    std::optional<ResolvedType> ResolveNamed(std::string_view name, std::size_t line, bool program);
    std::optional<ResolvedType> Compute(Named& entry);
    std::optional<ResolvedType> BuildComposite(const std::string& name,
                                               const std::vector<VariableDecl>& variables,
                                               bool functionBlock, std::size_t line);
    bool AddMember(CompositeLayout& layout, const VariableDecl& variable, MemberCursor& cursor);
    std::optional<std::int32_t> Bound(std::string_view text, std::size_t line);
    // Answers true when the walk is deeper than kMaxDepth; reports the first time only.
    bool TooDeep(std::size_t line);

    Diagnostics& m_Diagnostics;
    std::unordered_map<std::string, Named> m_Named; // upper-case name -> type
    std::vector<Named*> m_Declared;                 // the file's own types, in file order
    std::unordered_map<std::string, std::int64_t> m_Constants;
    std::vector<CompositeLayout> m_Composites;
    std::size_t m_Depth = 0;
    bool m_ReportedTooDeep = false;
};

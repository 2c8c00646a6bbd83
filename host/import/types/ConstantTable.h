#pragma once

#include "import/ProjectModel.h"
#include "import/types/ConstantExpression.h"
#include "text/NameIndex.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The names an integer constant expression of a project may use, and their values:
// - in a POU, its own variables, of which only the constants have a value;
// - the globals, plain or after their list's name (Gvl.MAX): the constants, and, as
//   exports write bounds that way, a global that is not constant but starts with an integer
//   literal; a constant wins over such a global of the same name;
// - the values of the declared enumerations: Colour#Red, Colour.Red, or Red where no other
//   enumeration has that name.
// A constant's value may itself be an expression; it is evaluated on first use and kept, a
// failure with it, so that a project is evaluated in linear time. A cycle between constants
// is a failure that names them in order.
// The table keeps what it needs of the globals (their names, a copy of each constant, the
// value of a global starting with an integer literal), so that the import may free each
// global's declaration once it is placed.
class ConstantTable {
public:
    using Result = ConstantExpression::Result;

    explicit ConstantTable(const ProjectModel& model);

    // The name index reads the entries of this table: neither copied nor moved.

    ConstantTable(const ConstantTable&) = delete;

    ConstantTable& operator=(const ConstantTable&) = delete;

    // The value of an expression written inside `scope` (null: outside every POU).
    Result Evaluate(std::string_view text, const PouDecl* scope);
    // The values of an enumeration's names: each the one before plus one unless written.
    static std::vector<std::pair<std::string, std::int64_t>> EnumValues(const TypeRef& ref);
    // The value of a declared constant as a bound would take it; nothing when it is not a
    // constant or its value is not an integer expression (nothing is reported). A global
    // constant is asked for by the table's own copy (GlobalConstants).
    std::optional<std::int64_t> ValueOf(const VariableDecl& constant);
    // The table's copies of the global constants, in declaration order.
    const std::deque<VariableDecl>& GlobalConstants() const { return m_GlobalConstants; }

private:
    enum class State : std::uint8_t { Pending, Busy, Done };
    static constexpr std::uint32_t kNotGlobal = UINT32_MAX;
    // A POU's variable, or a global: a global's declaration is only held for a constant.
    struct Entry {
        const VariableDecl* decl = nullptr;
        const PouDecl* pou = nullptr;      // its POU, null for a global
        std::int64_t literal = 0;          // of a global (not constant) starting with one
        std::uint32_t global = kNotGlobal; // the global's number, for its name
        State state = State::Pending;
        bool hasLiteral = false;
    };
    using Names = std::unordered_map<std::string, std::size_t>; // upper case -> entry

    void AddGlobal(const VariableDecl& global);
    void AddEnumeration(const DataTypeDecl& type);
    Result Lookup(std::string_view name, const PouDecl* scope, std::size_t depth);
    std::optional<Result> FindEnumValue(const std::string& upper) const;
    Result ValueOf(std::size_t index, std::size_t depth);
    Result Compute(const Entry& entry, std::size_t depth);
    std::string CycleFrom(std::size_t index) const;
    std::string_view NameOf(std::size_t index) const;

    std::vector<Entry> m_Entries; // every variable: kept small, a program has a million
    std::string m_GlobalNames;    // the globals' names, one after the other
    std::vector<std::uint32_t> m_GlobalNameEnds;
    std::deque<VariableDecl> m_GlobalConstants;
    std::unordered_map<std::size_t, Result> m_Results; // of the entries evaluated, by entry
    std::unordered_map<const VariableDecl*, std::size_t> m_Declared; // constants only
    NameIndex m_Globals;                                             // entries of globals by name
    Names m_Qualified;                                               // LIST.NAME
    std::unordered_map<const PouDecl*, Names> m_PouNames;
    std::unordered_map<std::string, std::int64_t> m_EnumValues; // TYPE.VALUE
    // VALUE -> its value; nothing when more than one enumeration has that name.
    std::unordered_map<std::string, std::optional<std::int64_t>> m_PlainEnumValues;
    std::vector<std::size_t> m_Path; // the constants being evaluated, outermost first
};

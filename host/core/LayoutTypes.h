#pragma once

#include "core/VariableTable.h"
#include "import/ProjectLayout.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The types of a laid-out project by the names the program writes: the IEC type of an item
// name (Line.Conveyors[2].Belt.Speed), the shape of an array text, the value of an enumeration
// name. The dictionary knows types by its own keywords (DT for every 8-byte type); this tells
// a value's type as the program wrote it.
class LayoutTypes {
public:
    struct ArrayShape {
        std::vector<std::pair<std::int64_t, std::int64_t>> dims; // low, high
        std::string element;                                     // as written
        std::uint64_t Count() const;
    };

    // Keeps pointers into the layout's composites and named types, and the variable table.
    LayoutTypes(const ProjectLayout& layout, const VariableTable& variables);

    const CompositeLayout* Composite(std::string_view name) const;
    const NamedTypeLayout* Named(std::string_view name) const;
    static std::optional<ArrayShape> Array(std::string_view typeText);

    // The type of an item name as the program writes it; BOOL for a bit; empty when unknown.
    std::string TypeOf(const std::string& itemName) const;
    // TypeOf without a copy: the text lies in the layout or the variable table (or is the
    // literal BOOL), valid as long as they are. Reads the name in place, allocating nothing for
    // names of variables, members and elements of arrays of one dimension.
    std::string_view TypeView(std::string_view itemName) const;
    // The TypeView of a name that extends a name of type `parentType` by `suffix` ("[3]",
    // ".Speed", "[2].Speed"), found from the parent's type without looking the variable up
    // again; nothing when it cannot be told that way (no parent type, a suffix that starts
    // otherwise): then TypeView of the whole name tells it.
    std::optional<std::string_view> TypeViewBelow(std::string_view parentType,
                                                  std::string_view suffix) const;
    // The variables that the names start with, found together: what the lookups read (each
    // variable's index slot, record and name) is fetched into the processor's cache for the
    // whole batch first, so that a batch waits for memory once rather than once per name.
    // Nothing for a name whose first part names no variable.
    std::vector<std::optional<std::size_t>>
    FindVariables(const std::vector<std::string>& names) const;
    // TypeView of a name whose first part is the variable `number` (see FindVariables).
    std::string_view TypeViewOf(std::size_t number, std::string_view itemName) const;
    // Underlying without a copy: the given text itself or a base type of the layout.
    std::string_view UnderlyingView(std::string_view typeText) const;
    // Follows declared aliases, enumerations and subranges to the type that holds the value.
    std::string Underlying(const std::string& typeText) const;
    // The value of an enumeration name (Running, MotorState#Running) of that type, or of the
    // enumeration it is an alias of, if it is one.
    std::optional<std::int64_t> EnumValue(const std::string& typeText, std::string_view text) const;
    // The declared types along the chain from a type to the type that holds its value, the type
    // itself first: each subrange and enumeration among them bounds the values of the type.
    std::vector<const NamedTypeLayout*> Chain(const std::string& typeText) const;

private:
    std::string MemberType(const std::string& owner, std::string_view member) const;
    std::string Indexed(std::string type, std::size_t indexCount) const;
    std::string_view IndexedView(std::string_view type, std::size_t indexCount) const;
    std::string_view MemberView(std::string_view owner, std::string_view member) const;
    std::string_view FollowParts(std::string_view type, std::string_view itemName, std::size_t pos,
                                 bool more) const;

    std::unordered_map<std::string, const CompositeLayout*> m_Composites; // upper-case names
    std::unordered_map<std::string, const NamedTypeLayout*> m_Named;
    const VariableTable& m_Variables;
};

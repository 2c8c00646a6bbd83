#include "import/types/ConstantTable.h"

#include "text/HostText.h"
#include "text/IntegerLiteral.h"

#include <algorithm>

ConstantTable::ConstantTable(const ProjectModel& model)
    : m_Globals([this](std::size_t i) { return NameOf(i); }) {
    std::size_t count = model.globals.size();
    for (const PouDecl& pou : model.pous) {
        count += pou.variables.size();
    }
    m_Entries.reserve(count); // entries stay in place: the table holds indexes into them
    m_Globals.Reserve(model.globals.size());
    m_GlobalNameEnds.reserve(model.globals.size());
    for (const VariableDecl& global : model.globals) {
        AddGlobal(global);
    }
    for (const PouDecl& pou : model.pous) {
        Names& names = m_PouNames[&pou];
        for (const VariableDecl& variable : pou.variables) {
            names.emplace(ToUpperAscii(variable.name), m_Entries.size());
            if (variable.constant) {
                m_Declared.emplace(&variable, m_Entries.size());
            }
            m_Entries.push_back({.decl = &variable, .pou = &pou});
        }
    }
    for (const DataTypeDecl& type : model.dataTypes) {
        AddEnumeration(type);
    }
}

void ConstantTable::AddGlobal(const VariableDecl& global) {
    const std::size_t index = m_Entries.size();
    Entry entry{.global = static_cast<std::uint32_t>(m_GlobalNameEnds.size())};
    m_GlobalNames += global.name;
    m_GlobalNameEnds.push_back(static_cast<std::uint32_t>(m_GlobalNames.size()));
    // Only a constant is asked for by its declaration (ValueOf).
    if (global.constant) {
        entry.decl = &m_GlobalConstants.emplace_back(global);
        m_Declared.emplace(entry.decl, index);
    } else if (const auto literal = ParseIntegerLiteral(global.initialValue)) {
        entry.literal = *literal;
        entry.hasLiteral = true;
    }
    m_Entries.push_back(entry);
    const std::size_t held = m_Globals.Insert(index);
    if (held != index && global.constant && m_Entries[held].decl == nullptr) {
        m_Globals.Replace(index);
    }
    if (!global.list.empty()) {
        m_Qualified.emplace(ToUpperAscii(global.list) + "." + ToUpperAscii(global.name), index);
    }
}

void ConstantTable::AddEnumeration(const DataTypeDecl& type) {
    if (type.type.kind != TypeRef::Kind::Enum) {
        return;
    }
    const std::string prefix = ToUpperAscii(type.name) + ".";
    for (const auto& [name, value] : EnumValues(type.type)) {
        const std::string upper = ToUpperAscii(name);
        m_EnumValues.emplace(prefix + upper, value);
        const auto [found, inserted] = m_PlainEnumValues.emplace(upper, value);
        if (!inserted && found->second != value) {
            found->second.reset();
        }
    }
}

std::vector<std::pair<std::string, std::int64_t>> ConstantTable::EnumValues(const TypeRef& ref) {
    std::vector<std::pair<std::string, std::int64_t>> values;
    std::int64_t next = 0;
    for (const auto& [name, written] : ref.Details().enumValues) {
        next = ParseIntegerLiteral(written).value_or(next);
        values.emplace_back(name, next++);
    }
    return values;
}

ConstantTable::Result ConstantTable::Evaluate(std::string_view text, const PouDecl* scope) {
    return ConstantExpression::Evaluate(
        text, [&](std::string_view name, std::size_t depth) { return Lookup(name, scope, depth); });
}

std::optional<std::int64_t> ConstantTable::ValueOf(const VariableDecl& constant) {
    const auto found = m_Declared.find(&constant);
    if (found == m_Declared.end() || !constant.constant) {
        return std::nullopt;
    }
    return ValueOf(found->second, 0).value;
}

ConstantTable::Result ConstantTable::Lookup(std::string_view name, const PouDecl* scope,
                                            std::size_t depth) {
    std::string upper = ToUpperAscii(name);
    const std::size_t hash = upper.find('#');
    if (hash != std::string::npos) {
        upper[hash] = '.';
        return FindEnumValue(upper).value_or(
            Result::Failure(Quoted(name) + " is not a value of a declared enumeration"));
    }
    if (upper.find('.') != std::string::npos) {
        const auto qualified = m_Qualified.find(upper);
        if (qualified != m_Qualified.end()) {
            return ValueOf(qualified->second, depth);
        }
        return FindEnumValue(upper).value_or(Result::Failure(Quoted(name) + " is not declared"));
    }
    if (scope != nullptr) {
        const Names& names = m_PouNames[scope];
        const auto local = names.find(upper);
        if (local != names.end()) {
            return ValueOf(local->second, depth);
        }
    }
    if (const auto global = m_Globals.Find(upper)) {
        return ValueOf(*global, depth);
    }
    const auto value = m_PlainEnumValues.find(upper);
    if (value == m_PlainEnumValues.end()) {
        return Result::Failure(Quoted(name) + " is not declared");
    }
    if (!value->second) {
        return Result::Failure(Quoted(name) +
                               " is a value of more than one enumeration; write "
                               "it as Type#" +
                               std::string(name));
    }
    return Result::Of(*value->second);
}

std::optional<ConstantTable::Result> ConstantTable::FindEnumValue(const std::string& upper) const {
    const auto found = m_EnumValues.find(upper);
    if (found == m_EnumValues.end()) {
        return std::nullopt;
    }
    return Result::Of(found->second);
}

ConstantTable::Result ConstantTable::ValueOf(std::size_t index, std::size_t depth) {
    Entry& entry = m_Entries[index];
    if (entry.state == State::Done) {
        return m_Results.at(index);
    }
    if (entry.state == State::Busy) {
        return Result::Failure(CycleFrom(index));
    }
    entry.state = State::Busy;
    m_Path.push_back(index);
    Result result = Compute(entry, depth);
    m_Path.pop_back();
    entry.state = State::Done;
    return m_Results.insert_or_assign(index, std::move(result)).first->second;
}

// A constant's own value. A global that is not constant counts when it starts with an integer
// literal; a variable of a POU never does.
ConstantTable::Result ConstantTable::Compute(const Entry& entry, std::size_t depth) {
    if (entry.decl == nullptr || !entry.decl->constant) {
        const std::string_view name =
            entry.decl != nullptr ? std::string_view(entry.decl->name)
                                  : NameOf(static_cast<std::size_t>(&entry - m_Entries.data()));
        return entry.hasLiteral ? Result::Of(entry.literal)
                                : Result::Failure(Quoted(name) + " is not a constant");
    }
    const VariableDecl& decl = *entry.decl;
    const std::string name = Quoted(decl.name);
    const TypeRef::Kind kind = decl.type.kind;
    if (kind == TypeRef::Kind::Elementary && !ConstantExpression::IsIntegerType(decl.type.name)) {
        return Result::Failure(name + " is a constant of type " + decl.type.name +
                               ", not an integer");
    }
    if (kind != TypeRef::Kind::Elementary && kind != TypeRef::Kind::Derived &&
        kind != TypeRef::Kind::Enum && kind != TypeRef::Kind::Subrange) {
        return Result::Failure(name + " is not an integer constant");
    }
    if (TrimBlanks(decl.initialValue).empty()) {
        return Result::Failure("constant " + name + " has no value");
    }
    // A fault met through another constant was told with that constant; one in this value is
    // told with the value.
    bool throughName = false;
    Result result = ConstantExpression::Evaluate(
        decl.initialValue,
        [&](std::string_view used, std::size_t level) {
            Result found = Lookup(used, entry.pou, level);
            throughName = !found.value;
            return found;
        },
        depth);
    if (!result.value && !throughName) {
        result.error = "constant " + name + " (line " + std::to_string(decl.line) +
                       ") := " + Quoted(decl.initialValue) + ": " + result.error;
    }
    return result;
}

// "a cycle between constants: A -> B -> A", from the constant met again.
std::string ConstantTable::CycleFrom(std::size_t index) const {
    std::string cycle = "a cycle between constants: ";
    const auto start = std::find(m_Path.begin(), m_Path.end(), index);
    for (auto at = start; at != m_Path.end(); ++at) {
        cycle += TerminalText(NameOf(*at)) + " -> ";
    }
    return cycle + TerminalText(NameOf(index));
}

std::string_view ConstantTable::NameOf(std::size_t index) const {
    const Entry& entry = m_Entries[index];
    if (entry.global == kNotGlobal) {
        return entry.decl->name;
    }
    const std::uint32_t begin = entry.global == 0 ? 0 : m_GlobalNameEnds[entry.global - 1];
    return std::string_view(m_GlobalNames).substr(begin, m_GlobalNameEnds[entry.global] - begin);
}

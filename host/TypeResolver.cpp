#include "TypeResolver.h"

#include "DepthGuard.h"
#include "LocatedAddress.h"
#include "NameText.h"
#include "StandardFunctionBlocks.h"
#include "TypeVocabulary.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
// A listing of an array shows every element of a dimension, so a dimension is kept to a size
// that a client can list.
constexpr std::uint64_t kMaxElementsPerDimension = 16777216;
constexpr std::size_t kMaxDimensions = 10;

std::uint64_t AlignUp(std::uint64_t value, std::uint32_t align) {
    return (value + align - 1) / align * align;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

std::string Quoted(std::string_view text) {
    std::string quoted(1, '\'');
    quoted.append(text).append(1, '\'');
    return quoted;
}

// External and access variables refer to storage declared elsewhere.
bool HoldsStorage(VarSection section) {
    return section != VarSection::External && section != VarSection::Access;
}

std::string AddressNote(const std::string& comment, const std::string& address) {
    const std::string note = "AT " + address;
    return comment.empty() ? note : comment + " (" + note + ")";
}

} // namespace

TypeResolver::TypeResolver(const ProjectModel& model, Diagnostics& diagnostics)
    : m_Diagnostics(diagnostics) {
    for (const DataTypeDecl& type : model.dataTypes) {
        Register(type.name, type.line, Named{&type, nullptr, type.line});
    }
    for (const PouDecl& pou : model.pous) {
        Register(pou.name, pou.line, Named{nullptr, &pou, pou.line});
    }
    CollectConstants(model);
}

void TypeResolver::Register(const std::string& name, std::size_t line, const Named& entry) {
    if (!IsIdentifier(name)) {
        m_Diagnostics.Error(line, "type name " + Quoted(name) + " is not a valid identifier");
        return;
    }
    const std::string upper = ToUpperAscii(name);
    if (TypeVocabulary::Find(upper) || upper == "ARRAY") {
        m_Diagnostics.Error(line, "type name " + Quoted(name) + " is reserved for a built-in type");
        return;
    }
    const auto [at, inserted] = m_Named.emplace(upper, entry);
    if (!inserted) {
        m_Diagnostics.Error(line, "duplicate type name " + Quoted(name) +
                                      " (first declared at line " +
                                      std::to_string(at->second.line) + ")");
        return;
    }
    m_Declared.push_back(&at->second);
}

// Array bounds may name a global whose initial value is an integer.
void TypeResolver::CollectConstants(const ProjectModel& model) {
    for (const VariableDecl& global : model.globals) {
        if (const auto value = ParseIntegerLiteral(global.initialValue)) {
            m_Constants.emplace(ToUpperAscii(global.name), *value);
        }
    }
}

void TypeResolver::ResolveAllDeclared() {
    // In declaration order, so that errors come in file order. Entries stay in place while
    // standard blocks are added to the map.
    for (Named* entry : m_Declared) {
        const bool program = entry->pou != nullptr && entry->pou->kind == PouKind::Program;
        if (entry->state == State::Pending && !program) {
            Compute(*entry);
        }
    }
}

bool TypeResolver::TooDeep(std::size_t line) {
    if (m_Depth <= kMaxDepth) {
        return false;
    }
    if (!m_ReportedTooDeep) {
        m_Diagnostics.Error(line,
                            "types nest deeper than " + std::to_string(kMaxDepth) + " levels");
        m_ReportedTooDeep = true;
    }
    return true;
}

std::optional<ResolvedType> TypeResolver::Resolve(const TypeRef& ref) {
    const DepthGuard guard(m_Depth);
    if (TooDeep(ref.line)) {
        return std::nullopt;
    }
    switch (ref.kind) {
    case TypeRef::Kind::Elementary:
        return ResolveText(ref.name, ref.line);
    case TypeRef::Kind::String:
        return ResolveString(ref);
    case TypeRef::Kind::Derived:
        if (TrimBlanks(ref.name).empty()) {
            m_Diagnostics.Error(ref.line, "a derived type without a name");
            return std::nullopt;
        }
        return ResolveText(ref.name, ref.line);
    case TypeRef::Kind::Array: {
        const auto element = ref.base ? Resolve(*ref.base) : std::nullopt;
        return element ? ResolveArray(ref.dims, *element, ref.line) : std::nullopt;
    }
    case TypeRef::Kind::Enum:
        return ref.base ? Resolve(*ref.base) : ResolveText("INT", ref.line);
    case TypeRef::Kind::Subrange:
        return ref.base ? Resolve(*ref.base) : std::nullopt;
    case TypeRef::Kind::Pointer:
        return ResolvedType{"UDINT", "POINTER", 4, 4};
    case TypeRef::Kind::Struct:
        m_Diagnostics.Error(ref.line, "a structure written inside a variable is not supported; "
                                      "declare it as a data type");
        return std::nullopt;
    case TypeRef::Kind::Invalid:
        break;
    }
    return std::nullopt;
}

std::optional<ResolvedType> TypeResolver::ResolveString(const TypeRef& ref) {
    if (ref.wide) {
        if (ref.length > 0) {
            m_Diagnostics.Warning(ref.line, "the dictionary gives every WSTRING 2 bytes; "
                                            "the declared length " +
                                                std::to_string(ref.length) + " is not kept");
        }
        return ResolvedType{"WSTRING", "WSTRING", 2, 2};
    }
    if (ref.length == 0) {
        return ResolvedType{"STRING", "STRING", 16, 1};
    }
    const std::string text = "STRING[" + std::to_string(ref.length) + "]";
    return ResolvedType{text, text, static_cast<std::uint32_t>(ref.length), 1};
}

// A type written as text: an array text, STRING[n], an elementary keyword or a type name.
std::optional<ResolvedType> TypeResolver::ResolveText(std::string_view text, std::size_t line) {
    text = TrimBlanks(text);
    const std::string upper = ToUpperAscii(text);
    const std::string_view afterArray =
        TrimBlanks(std::string_view(upper).substr(std::min<std::size_t>(upper.size(), 5)));
    if (StartsWith(upper, "ARRAY") && StartsWith(afterArray, "[")) {
        return ResolveArrayText(text, line);
    }
    if (StartsWith(upper, "STRING[") || StartsWith(upper, "STRING(") ||
        StartsWith(upper, "WSTRING[") || StartsWith(upper, "WSTRING(")) {
        return ResolveStringText(upper, line);
    }
    if (const auto elementary = TypeVocabulary::Find(upper)) {
        return ResolvedType{std::string(elementary->keyword), upper, elementary->size,
                            elementary->align};
    }
    return ResolveNamed(text, line, false);
}

std::optional<ResolvedType> TypeResolver::ResolveStringText(std::string_view upper,
                                                            std::size_t line) {
    const std::size_t open = upper.find_first_of("[(");
    const std::size_t close = upper.find_first_of("])", open);
    const auto length = close == std::string_view::npos
                            ? std::nullopt
                            : ParseIntegerLiteral(upper.substr(open + 1, close - open - 1));
    if (!length || *length < 1 || *length > std::numeric_limits<std::int32_t>::max() ||
        !TrimBlanks(upper.substr(close + 1)).empty()) {
        m_Diagnostics.Error(line, "cannot read the string type " + Quoted(upper));
        return std::nullopt;
    }
    TypeRef ref;
    ref.kind = TypeRef::Kind::String;
    ref.wide = upper.front() == 'W';
    ref.length = static_cast<std::uint64_t>(*length);
    ref.line = line;
    return ResolveString(ref);
}

// ARRAY[l..h, l..h] OF T, where a bound may name a global constant.
std::optional<ResolvedType> TypeResolver::ResolveArrayText(std::string_view text,
                                                           std::size_t line) {
    const DepthGuard guard(m_Depth);
    if (TooDeep(line)) {
        return std::nullopt;
    }
    const std::string upper = ToUpperAscii(text);
    const std::size_t open = upper.find('[');
    const std::size_t close = upper.find(']', open);
    const std::size_t of = close == std::string::npos ? close : upper.find("OF", close);
    if (of == std::string::npos || !TrimBlanks(upper.substr(close + 1, of - close - 1)).empty()) {
        m_Diagnostics.Error(line, "cannot read the array type " + Quoted(text));
        return std::nullopt;
    }
    Bounds dims;
    std::string_view list = text.substr(open + 1, close - open - 1);
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view dim = list.substr(0, comma);
        const std::size_t dots = dim.find("..");
        if (dots == std::string_view::npos) {
            m_Diagnostics.Error(line, "cannot read the array bounds " + Quoted(dim) + " of " +
                                          Quoted(text));
            return std::nullopt;
        }
        dims.emplace_back(TrimBlanks(dim.substr(0, dots)), TrimBlanks(dim.substr(dots + 2)));
        if (comma == std::string_view::npos) {
            break;
        }
        list.remove_prefix(comma + 1);
    }
    const auto element = ResolveText(text.substr(of + 2), line);
    return element ? ResolveArray(dims, *element, line) : std::nullopt;
}

std::optional<ResolvedType>
TypeResolver::ResolveArray(const Bounds& dims, const ResolvedType& element, std::size_t line) {
    if (dims.size() > kMaxDimensions) {
        m_Diagnostics.Error(line, "an array has at most 10 dimensions; this one has " +
                                      std::to_string(dims.size()));
        return std::nullopt;
    }
    std::string boundsText;
    std::uint64_t bytes = element.size;
    for (const auto& [lowText, highText] : dims) {
        const auto low = Bound(lowText, line);
        const auto high = Bound(highText, line);
        if (!low || !high) {
            return std::nullopt;
        }
        if (*high < *low) {
            m_Diagnostics.Error(line, "array bounds " + std::to_string(*low) + ".." +
                                          std::to_string(*high) +
                                          ": the upper bound is below the lower bound");
            return std::nullopt;
        }
        const std::uint64_t count = static_cast<std::uint64_t>(std::int64_t{*high} - *low) + 1;
        if (count > kMaxElementsPerDimension) {
            m_Diagnostics.Error(line, "array bounds " + std::to_string(*low) + ".." +
                                          std::to_string(*high) + " give " + std::to_string(count) +
                                          " elements; at most " +
                                          std::to_string(kMaxElementsPerDimension) +
                                          " per dimension are supported");
            return std::nullopt;
        }
        bytes = bytes > kMax32 ? bytes : bytes * count;
        boundsText +=
            (boundsText.empty() ? "" : ", ") + std::to_string(*low) + ".." + std::to_string(*high);
    }
    const std::string suffix = "[" + boundsText + "] OF ";
    if (bytes > kMax32) {
        m_Diagnostics.Error(line, "the size of ARRAY" + suffix + element.iecName +
                                      " does not fit 32 bits");
        return std::nullopt;
    }
    return ResolvedType{"ARRAY" + suffix + element.libName, "ARRAY" + suffix + element.iecName,
                        static_cast<std::uint32_t>(bytes), 2};
}

std::optional<std::int32_t> TypeResolver::Bound(std::string_view text, std::size_t line) {
    std::optional<std::int64_t> value = ParseIntegerLiteral(text);
    if (!value && IsIdentifier(text)) {
        const auto constant = m_Constants.find(ToUpperAscii(text));
        if (constant != m_Constants.end()) {
            value = constant->second;
        }
    }
    if (!value) {
        m_Diagnostics.Error(line, "array bound " + Quoted(text) +
                                      " is neither an integer nor a global with an integer "
                                      "initial value");
        return std::nullopt;
    }
    if (*value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        m_Diagnostics.Error(line, "array bound " + Quoted(text) + " does not fit 32 bits");
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<ResolvedType> TypeResolver::ResolveProgram(const std::string& name,
                                                         std::size_t line) {
    return ResolveNamed(name, line, true);
}

std::optional<ResolvedType> TypeResolver::ResolveNamed(std::string_view name, std::size_t line,
                                                       bool program) {
    const std::string key = ToUpperAscii(name);
    auto found = m_Named.find(key);
    if (found == m_Named.end()) {
        const PouDecl* standard = StandardFunctionBlocks::Find(name);
        if (standard == nullptr) {
            m_Diagnostics.Error(line,
                                (program ? "unknown program " : "unknown type ") + Quoted(name));
            return std::nullopt;
        }
        found = m_Named.emplace(key, Named{nullptr, standard, 0}).first;
    }
    Named& entry = found->second;
    const bool isProgram = entry.pou != nullptr && entry.pou->kind == PouKind::Program;
    if (isProgram != program) {
        m_Diagnostics.Error(
            line, Quoted(name) + (program ? " is not a program" : " is a program, not a type"));
        return std::nullopt;
    }
    switch (entry.state) {
    case State::Done:
        return entry.result;
    case State::Failed:
        return std::nullopt; // reported where it was declared
    case State::Busy:
        m_Diagnostics.Error(line, "type " + Quoted(name) + " refers to itself");
        return std::nullopt;
    case State::Pending:
        break;
    }
    return Compute(entry);
}

std::optional<ResolvedType> TypeResolver::Compute(Named& entry) {
    entry.state = State::Busy;
    std::optional<ResolvedType> result;
    if (entry.pou != nullptr) {
        result = BuildComposite(entry.pou->name, entry.pou->variables,
                                entry.pou->kind == PouKind::FunctionBlock, entry.pou->line);
    } else if (entry.dataType->type.kind == TypeRef::Kind::Struct) {
        result = BuildComposite(entry.dataType->name, entry.dataType->type.members, false,
                                entry.dataType->line);
    } else {
        result = Resolve(entry.dataType->type);
        if (result) {
            result->iecName = entry.dataType->name;
        }
    }
    entry.state = result ? State::Done : State::Failed;
    if (result) {
        entry.result = *result;
    }
    return result;
}

std::optional<ResolvedType> TypeResolver::BuildComposite(const std::string& name,
                                                         const std::vector<VariableDecl>& variables,
                                                         bool functionBlock, std::size_t line) {
    CompositeLayout layout{name, functionBlock, {}, 0};
    MemberCursor cursor;
    bool complete = true;
    for (const VariableDecl& variable : variables) {
        if (HoldsStorage(variable.section)) {
            complete = AddMember(layout, variable, cursor) && complete;
        }
    }
    const std::uint32_t ordinary = cursor.ordinary;
    if (!complete) {
        return std::nullopt;
    }
    // Every instance takes at least one word and ends on a word boundary, so that instances
    // never share a position and arrays of them stay aligned.
    const std::uint64_t size = std::max<std::uint64_t>(AlignUp(ordinary, 2), 2);
    if (size > kMax32) {
        m_Diagnostics.Error(line, "the size of " + Quoted(name) + " does not fit 32 bits");
        return std::nullopt;
    }
    layout.size = static_cast<std::uint32_t>(size);
    m_Composites.push_back(std::move(layout));
    return ResolvedType{name, name, static_cast<std::uint32_t>(size), 2};
}

bool TypeResolver::AddMember(CompositeLayout& layout, const VariableDecl& variable,
                             MemberCursor& cursor) {
    if (!IsIdentifier(variable.name)) {
        m_Diagnostics.Error(variable.line, "variable name " + Quoted(variable.name) +
                                               " is not a valid identifier");
        return false;
    }
    const auto [first, inserted] = cursor.lines.emplace(ToUpperAscii(variable.name), variable.line);
    if (!inserted) {
        m_Diagnostics.Error(variable.line, "duplicate variable " + Quoted(variable.name) + " in " +
                                               Quoted(layout.name) + " (first declared at line " +
                                               std::to_string(first->second) + ")");
        return false;
    }
    std::string error;
    if (!variable.address.empty() && !LocatedAddress::Parse(variable.address, error)) {
        m_Diagnostics.Error(variable.line, "cannot read the address " + Quoted(variable.address) +
                                               " of " + Quoted(variable.name) + ": " + error);
        return false;
    }
    const auto type = Resolve(variable.type);
    if (!type) {
        return false;
    }
    const bool local =
        variable.section == VarSection::Local || variable.section == VarSection::Temp;
    const std::uint16_t areaKind = layout.functionBlock && local ? 2 : 1;
    std::uint32_t& end = areaKind == 2 ? cursor.secondary : cursor.ordinary;
    const std::uint64_t offset = AlignUp(end, type->align);
    if (offset + type->size > kMax32) {
        m_Diagnostics.Error(variable.line,
                            "the size of " + Quoted(layout.name) + " does not fit 32 bits");
        return false;
    }
    end = static_cast<std::uint32_t>(offset + type->size);
    const std::string comment = variable.address.empty()
                                    ? variable.comment
                                    : AddressNote(variable.comment, variable.address);
    layout.members.push_back({variable.name, comment, type->libName,
                              static_cast<std::uint32_t>(offset), type->size, areaKind});
    return true;
}

#include "import/types/TypeResolver.h"

#include "import/DepthGuard.h"
#include "import/layout/AreaCursor.h"
#include "import/layout/CompositePlacer.h"
#include "import/types/TypeVocabulary.h"
#include "text/HostText.h"
#include "text/IntegerLiteral.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// A listing of an array shows every element of a dimension, so a dimension is kept to a size
// that a client can list.
constexpr std::uint64_t kMaxElementsPerDimension = 1048576;
constexpr std::size_t kMaxDimensions = 10;

} // namespace

TypeResolver::TypeResolver(const ProjectModel& model, Diagnostics& diagnostics)
    : m_Diagnostics(diagnostics), m_Registry(model, diagnostics), m_Constants(model) {
    for (const PouDecl& pou : model.pous) {
        for (const VariableDecl& variable : pou.variables) {
            m_Owners.emplace(&variable.type, &pou);
        }
    }
}

void TypeResolver::ResolveAllDeclared() {
    // In declaration order, so that errors come in file order.
    for (TypeRegistry::Entry* entry : m_Registry.Declared()) {
        if (entry->state == TypeRegistry::State::Pending && !entry->IsProgram()) {
            Compute(*entry);
        }
    }
}

const PouDecl* TypeResolver::ProgramDecl(const std::string& name) const {
    const TypeRegistry::Entry* entry = m_Registry.Lookup(name);
    return entry != nullptr && entry->IsProgram() ? entry->pou : nullptr;
}

void TypeResolver::ReportLibraryTypes(bool strict) {
    std::vector<const TypeRegistry::Entry*> library(m_Registry.Library().begin(),
                                                    m_Registry.Library().end());
    std::stable_sort(library.begin(), library.end(),
                     [](const auto* a, const auto* b) { return a->line < b->line; });
    for (const TypeRegistry::Entry* entry : library) {
        const std::string uses = entry->uses == 1
                                     ? "its 1 variable is kept"
                                     : "its " + std::to_string(entry->uses) + " variables are kept";
        std::string message = "type " + Quoted(entry->result.libName) +
                              " is not declared in this file (a library type?): " + uses +
                              " without members";
        if (strict) {
            m_Diagnostics.Error(entry->line, std::move(message));
        } else {
            m_Diagnostics.Remark(entry->line, std::move(message));
        }
    }
}

std::string TypeResolver::InitialValue(const VariableDecl& variable) {
    if (!variable.constant || ParseIntegerLiteral(variable.initialValue) ||
        TrimBlanks(variable.initialValue).empty()) {
        return variable.initialValue;
    }
    const auto value = m_Constants.ValueOf(variable);
    return value ? std::to_string(*value) : variable.initialValue;
}

bool TypeResolver::TooDeep(std::size_t line, std::size_t depth, std::string_view name) {
    m_Deepest = std::max(m_Deepest, depth);
    if (depth <= kMaxDepth) {
        return false;
    }
    if (!m_ReportedTooDeep) {
        const std::string_view outer = m_OuterType.empty() ? name : m_OuterType;
        m_Diagnostics.Error(line, "types nest deeper than " + std::to_string(kMaxDepth) +
                                      " levels" +
                                      (outer.empty() ? "" : " through type " + Quoted(outer)));
        m_ReportedTooDeep = true;
    }
    return true;
}

bool TypeResolver::ReuseTooDeep(const TypeRegistry::Entry& entry, std::string_view name,
                                std::size_t line) {
    return TooDeep(line, m_Depth + entry.depth, name);
}

const std::string& TypeResolver::EntryName(const TypeRegistry::Entry& entry) {
    return entry.pou != nullptr ? entry.pou->name : entry.dataType->name;
}

// The type of a POU's variable is resolved in the scope of that POU, whoever asks for it.
std::optional<ResolvedType> TypeResolver::Resolve(const TypeRef& ref) {
    const auto owner = m_Owners.find(&ref);
    if (owner == m_Owners.end()) {
        return ResolveType(ref, false);
    }
    const PouDecl* outer = std::exchange(m_Scope, owner->second);
    auto result = ResolveType(ref, false);
    m_Scope = outer;
    return result;
}

std::optional<ResolvedType> TypeResolver::ResolveType(const TypeRef& ref, bool declared) {
    const DepthGuard guard(m_Depth);
    if (TooDeep(ref.line, m_Depth)) {
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
        return element ? ResolveArray(ref.Details().dims, *element, ref.line) : std::nullopt;
    }
    case TypeRef::Kind::Enum:
    case TypeRef::Kind::Subrange: {
        const auto base = ResolveBase(ref);
        return base && !declared ? InPlace(ref, *base) : base;
    }
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

// The type an enumeration or subrange holds its values in; INT for an enumeration without one.
std::optional<ResolvedType> TypeResolver::ResolveBase(const TypeRef& ref) {
    if (!ref.base) {
        return ref.kind == TypeRef::Kind::Enum ? ResolveText("INT", ref.line) : std::nullopt;
    }
    return Resolve(*ref.base);
}

// A subrange or enumeration written in place is its base type under a name made of its text,
// INT (0..100) or (Off, On), kept once among the named types so that writes to it are bounded
// as for a declared one. A subrange without integer bounds stays its base type.
ResolvedType TypeResolver::InPlace(const TypeRef& ref, ResolvedType base) {
    NamedTypeLayout named{{}, base.iecName, {}, ConstantTable::EnumValues(ref), {}, true};
    if (ref.kind == TypeRef::Kind::Subrange) {
        named.range = SubrangeBounds(ref, ref.line);
        if (!named.range) {
            return base;
        }
        named.name = base.iecName + " (" + std::to_string(named.range->first) + ".." +
                     std::to_string(named.range->second) + ")";
    } else {
        if (named.enumValues.empty()) {
            return base;
        }
        std::string values;
        for (std::size_t i = 0; i < named.enumValues.size(); ++i) {
            const auto& [name, value] = named.enumValues[i];
            values +=
                (i == 0 ? "" : ", ") + name +
                (ref.Details().enumValues[i].second.empty() ? "" : " := " + std::to_string(value));
        }
        named.name = (ref.base ? base.iecName + " (" : "(") + values + ")";
    }
    base.iecName = named.name;
    if (m_InPlaceNames.insert(ToUpperAscii(named.name)).second) {
        m_NamedTypes.push_back(std::move(named));
    }
    return base;
}

std::optional<ResolvedType> TypeResolver::ResolveString(const TypeRef& ref) {
    if (ref.Details().length.empty()) {
        return ref.wide ? ResolvedType{"WSTRING", "WSTRING", 2, 2}
                        : ResolvedType{"STRING", "STRING", 16, 1};
    }
    const auto length = Constant("string length", ref.Details().length, ref.line);
    if (!length) {
        return std::nullopt;
    }
    if (*length < 1 || *length > std::numeric_limits<std::int32_t>::max()) {
        const std::string value = std::to_string(*length);
        m_Diagnostics.Error(
            ref.line, "string length " + Quoted(ref.Details().length) +
                          (TrimBlanks(ref.Details().length) == value ? "" : " (" + value + ")") +
                          " is not a number from 1 to 2147483647");
        return std::nullopt;
    }
    if (ref.wide) {
        m_Diagnostics.Warning(ref.line, "the dictionary gives every WSTRING 2 bytes; "
                                        "the declared length " +
                                            std::to_string(*length) + " is not kept");
        return ResolvedType{"WSTRING", "WSTRING", 2, 2};
    }
    const std::string text = "STRING[" + std::to_string(*length) + "]";
    return ResolvedType{text, text, static_cast<std::uint32_t>(*length), 1};
}

// A type written as text: an array text, STRING[n], an elementary keyword or a type name.
std::optional<ResolvedType> TypeResolver::ResolveText(std::string_view text, std::size_t line) {
    text = TrimBlanks(text);
    const std::string upper = ToUpperAscii(text);
    switch (TypeText::Classify(upper)) {
    case TypeText::Form::Array:
        return ResolveArrayText(text, line);
    case TypeText::Form::String:
        return ResolveStringText(text, line);
    case TypeText::Form::Name:
        break;
    }
    if (const auto elementary = TypeVocabulary::Find(upper)) {
        return ResolvedType{std::string(elementary->keyword), upper, elementary->size,
                            elementary->align};
    }
    return ResolveNamed(text, line, false);
}

std::optional<ResolvedType> TypeResolver::ResolveStringText(std::string_view text,
                                                            std::size_t line) {
    std::string error;
    const auto string = TypeText::ParseString(text, error);
    if (!string) {
        m_Diagnostics.Error(line, error);
        return std::nullopt;
    }
    TypeRef ref;
    ref.kind = TypeRef::Kind::String;
    ref.wide = string->wide;
    ref.Details().length = string->length;
    ref.line = line;
    return ResolveString(ref);
}

// ARRAY[l..h, l..h] OF T, where a bound may be a constant expression.
std::optional<ResolvedType> TypeResolver::ResolveArrayText(std::string_view text,
                                                           std::size_t line) {
    const DepthGuard guard(m_Depth);
    if (TooDeep(line, m_Depth)) {
        return std::nullopt;
    }
    std::string error;
    const auto array = TypeText::ParseArray(text, error);
    if (!array) {
        m_Diagnostics.Error(line, error);
        return std::nullopt;
    }
    const auto element = ResolveText(array->element, line);
    return element ? ResolveArray(array->dims, *element, line) : std::nullopt;
}

std::optional<ResolvedType> TypeResolver::ResolveArray(const TypeText::Bounds& dims,
                                                       const ResolvedType& element,
                                                       std::size_t line) {
    if (dims.size() > kMaxDimensions) {
        m_Diagnostics.Error(line, "an array has at most 10 dimensions; this one has " +
                                      std::to_string(dims.size()));
        return std::nullopt;
    }
    std::string boundsText;
    std::uint64_t bytes = element.size;
    for (const auto& dim : dims) {
        const auto count = DimensionSize(dim, line, boundsText);
        if (!count) {
            return std::nullopt;
        }
        bytes = bytes > AreaCursor::kMax32 ? bytes : bytes * *count;
    }
    const std::string suffix = "[" + boundsText + "] OF ";
    if (bytes > AreaCursor::kMax32) {
        m_Diagnostics.Error(line, "the size of ARRAY" + suffix + element.iecName +
                                      " does not fit 32 bits");
        return std::nullopt;
    }
    return ResolvedType{"ARRAY" + suffix + element.libName, "ARRAY" + suffix + element.iecName,
                        static_cast<std::uint32_t>(bytes), 2};
}

// The element count of one dimension; its bounds are added to boundsText ("l..h, l..h").
std::optional<std::uint64_t>
TypeResolver::DimensionSize(const std::pair<std::string, std::string>& dim, std::size_t line,
                            std::string& boundsText) {
    const auto low = Bound(dim.first, line);
    const auto high = Bound(dim.second, line);
    if (!low || !high) {
        return std::nullopt;
    }
    const std::string bounds = std::to_string(*low) + ".." + std::to_string(*high);
    if (*high < *low) {
        m_Diagnostics.Error(line, "array bounds " + bounds +
                                      ": the upper bound is below the lower bound");
        return std::nullopt;
    }
    const std::uint64_t count = static_cast<std::uint64_t>(std::int64_t{*high} - *low) + 1;
    if (count > kMaxElementsPerDimension) {
        m_Diagnostics.Error(line, "array bounds " + bounds + " give " + std::to_string(count) +
                                      " elements; at most " +
                                      std::to_string(kMaxElementsPerDimension) +
                                      " per dimension are supported");
        return std::nullopt;
    }
    boundsText += (boundsText.empty() ? "" : ", ") + bounds;
    return count;
}

std::optional<std::int32_t> TypeResolver::Bound(std::string_view text, std::size_t line) {
    const auto value = Constant("array bound", text, line);
    if (!value) {
        return std::nullopt;
    }
    if (*value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max()) {
        m_Diagnostics.Error(line, "array bound " + Quoted(text) + " does not fit 32 bits");
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*value);
}

std::optional<std::int64_t> TypeResolver::Constant(std::string_view what, std::string_view text,
                                                   std::size_t line) {
    ConstantTable::Result result = m_Constants.Evaluate(text, m_Scope);
    if (!result.value) {
        m_Diagnostics.Error(line, std::string(what) + " " + Quoted(text) + ": " + result.error);
    }
    return result.value;
}

std::optional<ResolvedType> TypeResolver::ResolveProgram(const std::string& name,
                                                         std::size_t line) {
    return ResolveNamed(name, line, true);
}

std::optional<ResolvedType> TypeResolver::ResolveNamed(std::string_view name, std::size_t line,
                                                       bool program) {
    TypeRegistry::Entry* entry = m_Registry.Find(name, line, program);
    if (entry == nullptr || entry->state == TypeRegistry::State::Failed) {
        return std::nullopt; // a failed type was reported where it was declared
    }
    if (entry->IsLibrary()) {
        return UseLibraryType(*entry, name, line);
    }
    if (entry->state == TypeRegistry::State::Done) {
        return ReuseTooDeep(*entry, name, line) ? std::nullopt
                                                : std::optional<ResolvedType>(entry->result);
    }
    return Compute(*entry);
}

// A library type is an opaque structure under the name as first written, laid out once.
ResolvedType TypeResolver::UseLibraryType(TypeRegistry::Entry& entry, std::string_view name,
                                          std::size_t line) {
    ++entry.uses;
    entry.line = std::min(entry.line, line);
    if (entry.state != TypeRegistry::State::Done) {
        const std::string written(name);
        m_Composites.push_back({written, false, {}, kLibraryTypeSize});
        entry.result = ResolvedType{written, written, kLibraryTypeSize, 2};
        entry.state = TypeRegistry::State::Done;
    }
    return entry.result;
}

std::optional<ResolvedType> TypeResolver::Compute(TypeRegistry::Entry& entry) {
    entry.state = TypeRegistry::State::Busy;
    const bool outermost = m_OuterType.empty();
    if (outermost) {
        m_OuterType = EntryName(entry);
    }
    const std::size_t deepestOutside = std::exchange(m_Deepest, m_Depth);
    // A named type is the same wherever it is used: no POU's constants reach into it.
    const PouDecl* scope = std::exchange(m_Scope, nullptr);
    std::optional<ResolvedType> result = ComputeEntry(entry);
    m_Scope = scope;
    entry.depth = m_Deepest - m_Depth;
    m_Deepest = std::max(m_Deepest, deepestOutside);
    if (outermost) {
        m_OuterType.clear();
    }
    entry.state = result ? TypeRegistry::State::Done : TypeRegistry::State::Failed;
    if (result) {
        entry.result = *result;
    }
    return result;
}

// A structure, function block or program is laid out; any other data type resolved.
std::optional<ResolvedType> TypeResolver::ComputeEntry(const TypeRegistry::Entry& entry) {
    const PouDecl* pou = entry.pou;
    const auto kind = pou == nullptr                  ? CompositePlacer::Kind::Structure
                      : pou->kind == PouKind::Program ? CompositePlacer::Kind::Program
                                                      : CompositePlacer::Kind::FunctionBlock;
    return pou != nullptr ? BuildComposite(pou->name, pou->variables, kind, pou->line)
                          : ComputeDataType(*entry.dataType);
}

// A structure is laid out; any other data type is its base type under the declared name.
std::optional<ResolvedType> TypeResolver::ComputeDataType(const DataTypeDecl& type) {
    if (type.type.kind == TypeRef::Kind::Struct) {
        auto result = BuildComposite(type.name, type.type.Details().members,
                                     CompositePlacer::Kind::Structure, type.line);
        if (result) {
            KeepNamedType(type, {});
        }
        return result;
    }
    std::optional<ResolvedType> result = ResolveType(type.type, true);
    if (result) {
        KeepNamedType(type, result->iecName);
        result->iecName = type.name;
    }
    return result;
}

// What a variable of the type starts with: its initial value, and the values of an
// enumeration or the bounds of a subrange.
void TypeResolver::KeepNamedType(const DataTypeDecl& type, const std::string& baseType) {
    NamedTypeLayout named{
        type.name, baseType, type.initialValue, ConstantTable::EnumValues(type.type), {}, false};
    if (type.type.kind == TypeRef::Kind::Subrange) {
        named.range = SubrangeBounds(type.type, type.line);
    }
    m_NamedTypes.push_back(std::move(named));
}

// A subrange's bounds as integers; nothing, with a warning, when they are not (writes to it are
// then bounded by its base type only).
std::optional<std::pair<std::int64_t, std::int64_t>>
TypeResolver::SubrangeBounds(const TypeRef& ref, std::size_t line) {
    const ConstantTable::Result low = m_Constants.Evaluate(ref.Details().range.first, m_Scope);
    const ConstantTable::Result high = m_Constants.Evaluate(ref.Details().range.second, m_Scope);
    if (!low.value || !high.value || *high.value < *low.value) {
        const std::string reason = !low.value ? Quoted(ref.Details().range.first) + ": " + low.error
                                   : !high.value
                                       ? Quoted(ref.Details().range.second) + ": " + high.error
                                       : "the upper is below the lower";
        m_Diagnostics.Warning(line, "the subrange bounds " + Quoted(ref.Details().range.first) +
                                        ".." + Quoted(ref.Details().range.second) +
                                        " are not two integers, low " + "to high (" + reason +
                                        "); writes are bounded by the base type only");
        return std::nullopt;
    }
    return std::pair(*low.value, *high.value);
}

std::optional<ResolvedType> TypeResolver::BuildComposite(const std::string& name,
                                                         const std::vector<VariableDecl>& variables,
                                                         CompositePlacer::Kind kind,
                                                         std::size_t line) {
    auto layout = CompositePlacer(*this, m_Diagnostics).Place(name, variables, kind, line);
    if (!layout) {
        return std::nullopt;
    }
    const std::uint32_t size = layout->size;
    m_Composites.push_back(std::move(*layout));
    return ResolvedType{name, name, size, 2};
}

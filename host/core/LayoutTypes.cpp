#include "core/LayoutTypes.h"

#include "import/types/TypeText.h"
#include "text/HostText.h"
#include "text/IntegerLiteral.h"

#include <algorithm>

namespace {

template <typename T>
const T* Lookup(const std::unordered_map<std::string, const T*>& map, std::string_view name) {
    const auto found = map.find(ToUpperAscii(TrimBlanks(name)));
    return found == map.end() ? nullptr : found->second;
}

// One part of an item name: the name and how many indexes follow it ([2][3] and [2,3] count 2).
struct Part {
    std::string name;
    std::size_t indexes = 0;
};

std::vector<Part> SplitItemName(const std::string& itemName) {
    std::vector<Part> parts(1);
    int depth = 0;
    for (const char c : itemName) {
        if (c == '[') {
            ++depth;
            ++parts.back().indexes;
        } else if (c == ']') {
            --depth;
        } else if (depth > 0) {
            parts.back().indexes += c == ',' ? 1 : 0;
        } else if (c == '.') {
            parts.emplace_back();
        } else {
            parts.back().name += c;
        }
    }
    return parts;
}

bool IsBitNumber(const Part& part) {
    return !part.name.empty() && part.indexes == 0 &&
           part.name.find_first_not_of("0123456789") == std::string::npos;
}

} // namespace

std::uint64_t LayoutTypes::ArrayShape::Count() const {
    std::uint64_t count = 1;
    for (const auto& [low, high] : dims) {
        count *= static_cast<std::uint64_t>(high - low + 1);
    }
    return count;
}

LayoutTypes::LayoutTypes(const ProjectLayout& layout)
    : m_VariableList(&layout.variables),
      m_Variables([variables = &layout.variables](std::size_t i) {
          return std::string_view((*variables)[i].name);
      }) {
    for (const CompositeLayout& composite : layout.composites) {
        m_Composites.emplace(ToUpperAscii(composite.name), &composite);
    }
    for (const NamedTypeLayout& named : layout.namedTypes) {
        m_Named.emplace(ToUpperAscii(named.name), &named);
    }
    m_Variables.Reserve(layout.variables.size());
    for (std::size_t i = 0; i < layout.variables.size(); ++i) {
        m_Variables.Insert(i);
    }
}

const CompositeLayout* LayoutTypes::Composite(std::string_view name) const {
    return Lookup(m_Composites, name);
}

const NamedTypeLayout* LayoutTypes::Named(std::string_view name) const {
    return Lookup(m_Named, name);
}

std::optional<LayoutTypes::ArrayShape> LayoutTypes::Array(std::string_view typeText) {
    const std::string upper = ToUpperAscii(TrimBlanks(typeText));
    if (TypeText::Classify(upper) != TypeText::Form::Array) {
        return std::nullopt;
    }
    std::string error;
    const auto array = TypeText::ParseArray(TrimBlanks(typeText), error);
    if (!array) {
        return std::nullopt;
    }
    ArrayShape shape{{}, std::string(TrimBlanks(array->element))};
    for (const auto& [low, high] : array->dims) {
        const auto lowValue = ParseIntegerLiteral(low);
        const auto highValue = ParseIntegerLiteral(high);
        if (!lowValue || !highValue || *highValue < *lowValue) {
            return std::nullopt;
        }
        shape.dims.emplace_back(*lowValue, *highValue);
    }
    return shape;
}

std::string LayoutTypes::Underlying(const std::string& typeText) const {
    const std::vector<const NamedTypeLayout*> chain = Chain(typeText);
    return chain.empty() ? typeText : chain.back()->baseType;
}

std::vector<const NamedTypeLayout*> LayoutTypes::Chain(const std::string& typeText) const {
    std::vector<const NamedTypeLayout*> chain;
    const NamedTypeLayout* named = Named(typeText);
    // Aliases chain at most as deep as types nest.
    while (named != nullptr && !named->baseType.empty() && chain.size() < 200) {
        chain.push_back(named);
        named = Named(named->baseType);
    }
    return chain;
}

std::optional<std::int64_t> LayoutTypes::EnumValue(const std::string& typeText,
                                                   std::string_view text) const {
    const std::vector<const NamedTypeLayout*> chain = Chain(typeText);
    const auto enumeration = std::find_if(
        chain.begin(), chain.end(), [](const auto* link) { return !link->enumValues.empty(); });
    if (enumeration == chain.end()) {
        return std::nullopt;
    }
    const NamedTypeLayout* named = *enumeration;
    // Named by the enumeration or an alias on the way to it: Colour#Red, Paint#Red.
    text = TrimBlanks(text);
    const std::size_t hash = text.find('#');
    const auto prefixed = [&](const NamedTypeLayout* link) {
        return EqualsNoCase(text.substr(0, hash), link->name);
    };
    if (hash != std::string_view::npos && std::any_of(chain.begin(), enumeration + 1, prefixed)) {
        text.remove_prefix(hash + 1);
    }
    for (const auto& [name, value] : named->enumValues) {
        if (EqualsNoCase(name, text)) {
            return value;
        }
    }
    return std::nullopt;
}

// The type after `indexCount` indexes into it: one dimension each, through nested arrays.
std::string LayoutTypes::Indexed(std::string type, std::size_t indexCount) const {
    while (indexCount > 0) {
        const auto shape = Array(Underlying(type));
        if (!shape || shape->dims.size() > indexCount) {
            return {}; // a part of an array: no elementary type
        }
        indexCount -= shape->dims.size();
        type = shape->element;
    }
    return type;
}

std::string LayoutTypes::MemberType(const std::string& owner, std::string_view member) const {
    const CompositeLayout* composite = Composite(Underlying(owner));
    if (composite == nullptr) {
        return {};
    }
    for (const MemberLayout& candidate : composite->members) {
        if (EqualsNoCase(candidate.name, member)) {
            return candidate.iecType;
        }
    }
    return {};
}

std::string LayoutTypes::TypeOf(const std::string& itemName) const {
    const std::vector<Part> parts = SplitItemName(itemName);
    const auto number = m_Variables.Find(TrimBlanks(parts.front().name));
    if (!number) {
        return {};
    }
    const VariableLayout* variable = &(*m_VariableList)[*number];
    std::string type = Indexed(variable->iecType, parts.front().indexes);
    for (std::size_t i = 1; i < parts.size() && !type.empty(); ++i) {
        if (IsBitNumber(parts[i]) && i + 1 == parts.size()) {
            return "BOOL";
        }
        type = Indexed(MemberType(type, parts[i].name), parts[i].indexes);
    }
    return type;
}

#include "core/LayoutTypes.h"

#include "import/types/TypeText.h"
#include "text/HostText.h"
#include "text/IntegerLiteral.h"

#include <algorithm>

namespace {

// The upper-case key of a name in a buffer of the calling thread, reused from call to call:
// looking a type up allocates nothing once the buffer has grown to the longest name.
const std::string& UpperKey(std::string_view name) {
    thread_local std::string key;
    key.assign(name);
    for (char& c : key) {
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    return key;
}

template <typename T>
const T* Lookup(const std::unordered_map<std::string, const T*>& map, std::string_view name) {
    const auto found = map.find(UpperKey(TrimBlanks(name)));
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

bool IsBitNumber(std::string_view name, std::size_t indexes) {
    return !name.empty() && indexes == 0 &&
           name.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsBitNumber(const Part& part) {
    return IsBitNumber(part.name, part.indexes);
}

// One part of an item name read in place, as SplitItemName reads it.
struct PartView {
    std::string_view name;
    std::size_t indexes = 0;
    bool more = false; // a dot follows: another part, maybe empty
};

// Reads the part that starts at `pos` and moves past it and its dot. False for a name that
// goes on after its indexes or closes a bracket it never opened (no name of the item-name
// grammar does), whose name is not one run of the text.
bool NextPart(std::string_view text, std::size_t& pos, PartView& part) {
    part = {};
    const std::size_t start = pos;
    std::size_t nameEnd = std::string_view::npos;
    int depth = 0;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '[') {
            nameEnd = std::min(nameEnd, pos);
            ++depth;
            ++part.indexes;
        } else if (c == ']') {
            if (depth == 0) {
                return false;
            }
            --depth;
        } else if (depth > 0) {
            part.indexes += c == ',' ? 1 : 0;
        } else if (c == '.') {
            break;
        } else if (nameEnd != std::string_view::npos) {
            return false;
        }
    }
    part.name = text.substr(start, std::min(nameEnd, pos) - start);
    part.more = pos < text.size();
    pos += part.more ? 1 : 0;
    return true;
}

using Step = std::optional<std::pair<std::size_t, std::string_view>>;

// The number of dimensions of an array text and its element's text, checked as
// LayoutTypes::Array checks them; nothing when the text is no array.
Step ParseArrayStep(std::string_view typeText) {
    const std::string_view trimmed = TrimBlanks(typeText);
    if (TypeText::Classify(UpperKey(trimmed)) != TypeText::Form::Array) {
        return std::nullopt;
    }
    std::string error;
    const auto array = TypeText::ParseArray(trimmed, error);
    if (!array) {
        return std::nullopt;
    }
    for (const auto& [low, high] : array->dims) {
        const auto lowValue = ParseIntegerLiteral(low);
        const auto highValue = ParseIntegerLiteral(high);
        if (!lowValue || !highValue || *highValue < *lowValue) {
            return std::nullopt;
        }
    }
    return std::pair(array->dims.size(), TrimBlanks(array->element));
}

// ParseArrayStep, remembering the last text of the thread: the elements of an array read
// whole share their parent's text. Kept by content and offsets, never by address, so that
// no view outlives the text it was taken from.
Step ArrayStep(std::string_view typeText) {
    struct Last {
        std::string text;
        bool array = false;
        std::size_t dims = 0;
        std::size_t elementStart = 0;
        std::size_t elementSize = 0;
    };
    thread_local Last last;
    thread_local bool held = false;
    if (!held || typeText != last.text) {
        const Step step = ParseArrayStep(typeText);
        last.text.assign(typeText);
        last.array = step.has_value();
        if (step) {
            last.dims = step->first;
            last.elementStart = static_cast<std::size_t>(step->second.data() - typeText.data());
            last.elementSize = step->second.size();
        }
        held = true;
    }
    if (!last.array) {
        return std::nullopt;
    }
    return std::pair(last.dims, typeText.substr(last.elementStart, last.elementSize));
}

} // namespace

std::uint64_t LayoutTypes::ArrayShape::Count() const {
    std::uint64_t count = 1;
    for (const auto& [low, high] : dims) {
        count *= static_cast<std::uint64_t>(high - low + 1);
    }
    return count;
}

LayoutTypes::LayoutTypes(const ProjectLayout& layout, const VariableTable& variables)
    : m_Variables(variables) {
    for (const CompositeLayout& composite : layout.composites) {
        m_Composites.emplace(ToUpperAscii(composite.name), &composite);
    }
    for (const NamedTypeLayout& named : layout.namedTypes) {
        m_Named.emplace(ToUpperAscii(named.name), &named);
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

std::string_view LayoutTypes::UnderlyingView(std::string_view typeText) const {
    std::string_view underlying = typeText;
    const NamedTypeLayout* named = Named(typeText);
    // As Chain: at most 200 links.
    for (std::size_t links = 0; named != nullptr && !named->baseType.empty() && links < 200;
         ++links) {
        underlying = named->baseType;
        named = Named(named->baseType);
    }
    return underlying;
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
    return std::string(MemberView(owner, member));
}

std::string LayoutTypes::TypeOf(const std::string& itemName) const {
    const std::vector<Part> parts = SplitItemName(itemName);
    const auto number = m_Variables.Find(TrimBlanks(parts.front().name));
    if (!number) {
        return {};
    }
    std::string type = Indexed(std::string(m_Variables.IecType(*number)), parts.front().indexes);
    for (std::size_t i = 1; i < parts.size() && !type.empty(); ++i) {
        if (IsBitNumber(parts[i]) && i + 1 == parts.size()) {
            return "BOOL";
        }
        type = Indexed(MemberType(type, parts[i].name), parts[i].indexes);
    }
    return type;
}

std::string_view LayoutTypes::IndexedView(std::string_view type, std::size_t indexCount) const {
    while (indexCount > 0) {
        const auto step = ArrayStep(UnderlyingView(type));
        if (!step || step->first > indexCount) {
            return {};
        }
        indexCount -= step->first;
        type = step->second;
    }
    return type;
}

std::string_view LayoutTypes::MemberView(std::string_view owner, std::string_view member) const {
    const CompositeLayout* composite = Composite(UnderlyingView(owner));
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

std::string_view LayoutTypes::TypeView(std::string_view itemName) const {
    std::size_t pos = 0;
    PartView part;
    if (!NextPart(itemName, pos, part)) {
        return {};
    }
    const auto number = m_Variables.Find(TrimBlanks(part.name));
    if (!number) {
        return {};
    }
    return FollowParts(IndexedView(m_Variables.IecType(*number), part.indexes), itemName, pos,
                       part.more);
}

std::vector<std::optional<std::size_t>>
LayoutTypes::FindVariables(const std::vector<std::string>& names) const {
    struct Pending {
        std::string_view first;
        std::uint64_t hash = 0;
        std::optional<std::size_t> candidate;
        bool named = false; // the name starts with a part
    };
    std::vector<Pending> pending(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::size_t pos = 0;
        PartView part;
        if (NextPart(names[i], pos, part)) {
            pending[i].first = TrimBlanks(part.name);
            pending[i].hash = VariableTable::Hash(pending[i].first);
            pending[i].named = true;
            m_Variables.FetchSlot(pending[i].hash);
        }
    }
    for (Pending& next : pending) {
        if (next.named) {
            next.candidate = m_Variables.FetchEntry(next.hash);
        }
    }
    for (const Pending& next : pending) {
        if (next.candidate) {
            m_Variables.FetchName(*next.candidate);
        }
    }
    std::vector<std::optional<std::size_t>> numbers(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (pending[i].named) {
            numbers[i] = m_Variables.Find(pending[i].first, pending[i].hash);
        }
    }
    return numbers;
}

std::string_view LayoutTypes::TypeViewOf(std::size_t number, std::string_view itemName) const {
    // A variable's own name, the common case, has no part or index to follow.
    if (std::none_of(itemName.begin(), itemName.end(),
                     [](char c) { return c == '.' || c == '[' || c == ']'; })) {
        return m_Variables.IecType(number);
    }
    std::size_t pos = 0;
    PartView part;
    if (!NextPart(itemName, pos, part)) {
        return {};
    }
    return FollowParts(IndexedView(m_Variables.IecType(number), part.indexes), itemName, pos,
                       part.more);
}

std::optional<std::string_view> LayoutTypes::TypeViewBelow(std::string_view parentType,
                                                           std::string_view suffix) const {
    if (parentType.empty() || suffix.empty() || (suffix.front() != '[' && suffix.front() != '.')) {
        return std::nullopt;
    }
    // The parent's type is whole (no array left half indexed), so the indexes that follow it
    // index its type as they would the variable's after the parent's own.
    std::size_t pos = 0;
    PartView part;
    if (!NextPart(suffix, pos, part) || !part.name.empty()) {
        return std::nullopt;
    }
    return FollowParts(IndexedView(parentType, part.indexes), suffix, pos, part.more);
}

// The type after the parts of a name from `pos` on, starting from the type before them.
std::string_view LayoutTypes::FollowParts(std::string_view type, std::string_view itemName,
                                          std::size_t pos, bool more) const {
    PartView part;
    while (more && !type.empty()) {
        if (!NextPart(itemName, pos, part)) {
            return {};
        }
        if (IsBitNumber(part.name, part.indexes) && !part.more) {
            return "BOOL";
        }
        type = IndexedView(MemberView(type, part.name), part.indexes);
        more = part.more;
    }
    return type;
}

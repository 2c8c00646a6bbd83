#include "core/InitialValues.h"

#include "core/ValueAccess.h"
#include "text/HostText.h"
#include "values/IecLiteral.h"
#include "values/InitialValueText.h"

namespace {

// "[i][j]" of the k-th element, the last dimension running fastest.
std::string IndexText(const LayoutTypes::ArrayShape& shape, std::uint64_t k) {
    std::string text;
    for (std::size_t d = shape.dims.size(); d-- > 0;) {
        const auto [low, high] = shape.dims[d];
        const auto count = static_cast<std::uint64_t>(high - low + 1);
        text.insert(0, "[" + std::to_string(low + static_cast<std::int64_t>(k % count)) + "]");
        k /= count;
    }
    return text;
}

} // namespace

InitialValues::InitialValues(const std::vector<VariableLayout>& variables, const LayoutTypes& types)
    : m_Variables(variables), m_Types(types) {}

std::vector<std::string> InitialValues::WriteInto(ValueAccess& access) {
    m_Access = &access;
    m_Problems.clear();
    for (const VariableLayout& variable : m_Variables) {
        if (!variable.initialValue.empty() || HasDefaults(variable.IecType())) {
            Assign(variable.name, variable.IecType(), variable.initialValue);
        }
    }
    m_Access = nullptr;
    return std::move(m_Problems);
}

void InitialValues::Assign(const std::string& path, const std::string& type, std::string text) {
    if (const NamedTypeLayout* named = m_Types.Named(type)) {
        AssignNamed(path, *named, std::move(text));
    } else if (const CompositeLayout* composite = m_Types.Composite(type)) {
        AssignComposite(path, *composite, text);
    } else if (const auto shape = LayoutTypes::Array(type)) {
        AssignArray(path, *shape, text);
    } else if (!text.empty()) {
        AssignLeaf(path, IecLiteral::Unquote(text));
    }
}

void InitialValues::AssignNamed(const std::string& path, const NamedTypeLayout& named,
                                std::string text) {
    if (text.empty()) {
        text = named.initialValue;
    }
    if (!named.enumValues.empty()) {
        if (!text.empty()) {
            const auto value = m_Types.EnumValue(named.name, text);
            AssignLeaf(path, value ? Value(*value) : Value(text));
        }
        return;
    }
    if (!named.baseType.empty()) {
        Assign(path, named.baseType, std::move(text));
    } else if (const CompositeLayout* composite = m_Types.Composite(named.name)) {
        AssignComposite(path, *composite, text);
    }
}

void InitialValues::AssignComposite(const std::string& path, const CompositeLayout& composite,
                                    const std::string& text) {
    std::vector<std::pair<std::string, std::string>> items;
    if (!text.empty()) {
        auto parsed = InitialValueText::StructItems(text);
        if (!parsed) {
            m_Problems.push_back(path + ": '" + text + "' is not a structure value");
            return;
        }
        items = std::move(*parsed);
    }
    for (std::size_t i = 0; i < composite.members.size(); ++i) {
        const MemberLayout& member = composite.members[i];
        if (i > 0 && composite.functionBlock && HoldsFunctionBlock(member)) {
            continue; // the dictionary serves no function block inside another but the first
        }
        std::string value = member.initialValue;
        for (const auto& [name, written] : items) {
            value = EqualsNoCase(name, member.name) ? written : value;
        }
        if (!value.empty() || HasDefaults(member.iecType)) {
            Assign(path + "." + member.name, member.iecType, value);
        }
    }
}

void InitialValues::AssignArray(const std::string& path, const LayoutTypes::ArrayShape& shape,
                                const std::string& text) {
    const std::uint64_t count = shape.Count();
    std::vector<std::string> items;
    if (!text.empty()) {
        auto parsed = InitialValueText::ArrayItems(text, count);
        if (!parsed) {
            m_Problems.push_back(path + ": '" + text + "' is not an array value");
            return;
        }
        items = std::move(*parsed);
    }
    const bool defaults = HasDefaults(shape.element);
    const std::uint64_t end = defaults ? count : items.size();
    for (std::uint64_t k = 0; k < end; ++k) {
        Assign(path + IndexText(shape, k), shape.element, k < items.size() ? items[k] : "");
    }
}

void InitialValues::AssignLeaf(const std::string& path, const Value& value) {
    // The program's own values, as it declares them: bounded by their elementary type only.
    const WriteOutcome outcome = m_Access->Write({{path, value}}, ValueAccess::Bounds::TypeOnly);
    const ValueResult& result = outcome.results.front();
    if (!result.Ok()) {
        m_Problems.push_back(result.name + ": " + result.Message());
    }
}

bool InitialValues::HoldsFunctionBlock(const MemberLayout& member) const {
    const CompositeLayout* type = m_Types.Composite(m_Types.Underlying(member.iecType));
    return type != nullptr && type->functionBlock;
}

bool InitialValues::HasDefaults(const std::string& type) {
    const std::string key = ToUpperAscii(type);
    const auto known = m_Defaults.find(key);
    if (known != m_Defaults.end()) {
        return known->second;
    }
    m_Defaults[key] = false; // a type that contains itself was refused by the import
    const bool defaults = ComputeDefaults(type);
    m_Defaults[key] = defaults;
    return defaults;
}

bool InitialValues::ComputeDefaults(const std::string& type) {
    if (const NamedTypeLayout* named = m_Types.Named(type)) {
        if (!named->initialValue.empty()) {
            return true;
        }
        if (!named->baseType.empty()) {
            return HasDefaults(named->baseType);
        }
    }
    if (const CompositeLayout* composite = m_Types.Composite(type)) {
        for (const MemberLayout& member : composite->members) {
            if (!member.initialValue.empty() || HasDefaults(member.iecType)) {
                return true;
            }
        }
        return false;
    }
    const auto shape = LayoutTypes::Array(type);
    return shape && HasDefaults(shape->element);
}

#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// A value as the host hands it between its layers: nothing, a boolean, a signed or unsigned
// integer, a real, a text (durations, dates and times as IEC texts), a list (an array) or named
// members (a structure or function block), in declaration order. Front ends turn it into JSON
// or Python objects.
class Value {
public:
    using List = std::vector<Value>;
    using Members = std::vector<std::pair<std::string, Value>>;

    // A value converts from what it holds.
    Value() = default;
    Value(bool value) : m_Data(value) {}
    Value(std::int64_t value) : m_Data(value) {}
    Value(std::uint64_t value) : m_Data(value) {}
    Value(double value) : m_Data(value) {}
    Value(std::string value) : m_Data(std::move(value)) {}
    Value(const char* value) : m_Data(std::string(value)) {}
    Value(List value) : m_Data(std::move(value)) {}
    Value(Members value) : m_Data(std::move(value)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(m_Data); }
    bool IsBool() const { return std::holds_alternative<bool>(m_Data); }
    bool IsSigned() const { return std::holds_alternative<std::int64_t>(m_Data); }
    bool IsUnsigned() const { return std::holds_alternative<std::uint64_t>(m_Data); }
    bool IsReal() const { return std::holds_alternative<double>(m_Data); }
    bool IsNumber() const { return IsSigned() || IsUnsigned() || IsReal(); }
    bool IsText() const { return std::holds_alternative<std::string>(m_Data); }
    bool IsList() const { return std::holds_alternative<List>(m_Data); }
    bool IsMembers() const { return std::holds_alternative<Members>(m_Data); }

    bool AsBool() const { return std::get<bool>(m_Data); }
    std::int64_t AsSigned() const { return std::get<std::int64_t>(m_Data); }
    std::uint64_t AsUnsigned() const { return std::get<std::uint64_t>(m_Data); }
    double AsReal() const { return std::get<double>(m_Data); }
    // Any number as a double.
    double AsDouble() const;
    const std::string& AsText() const { return std::get<std::string>(m_Data); }
    const List& AsList() const { return std::get<List>(m_Data); }
    const Members& AsMembers() const { return std::get<Members>(m_Data); }

    bool operator==(const Value&) const = default;

private:
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string, List,
                 Members>
        m_Data;
};

inline double Value::AsDouble() const {
    if (IsSigned()) {
        return static_cast<double>(AsSigned());
    }
    if (IsUnsigned()) {
        return static_cast<double>(AsUnsigned());
    }
    return AsReal();
}

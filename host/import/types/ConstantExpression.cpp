#include "import/types/ConstantExpression.h"

#include "text/HostText.h"
#include "text/IntegerLiteral.h"

#include <limits>

namespace {

struct IntegerType {
    std::string_view name;
    std::int64_t min;
    std::int64_t max;
};

// The integer types a typed literal may name; the 64-bit unsigned ones reach as far as a bound
// can, the signed 64-bit maximum.
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr IntegerType kIntegerTypes[] = {
    {"SINT", -128, 127},
    {"INT", -32768, 32767},
    {"DINT", -2147483648LL, 2147483647},
    {"LINT", std::numeric_limits<std::int64_t>::min(), kMax64},
    {"USINT", 0, 255},
    {"UINT", 0, 65535},
    {"UDINT", 0, 4294967295LL},
    {"ULINT", 0, kMax64},
    {"BYTE", 0, 255},
    {"WORD", 0, 65535},
    {"DWORD", 0, 4294967295LL},
    {"LWORD", 0, kMax64},
};

const IntegerType* FindIntegerType(std::string_view name) {
    for (const IntegerType& type : kIntegerTypes) {
        if (EqualsNoCase(type.name, name)) {
            return &type;
        }
    }
    return nullptr;
}

bool IsLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// True when every character is a digit of the literal's base or "_": a literal that failed to
// parse is then too large rather than misspelt.
bool OnlyDigits(std::string_view word) {
    unsigned base = 10;
    const std::size_t hash = word.find('#');
    if (hash != std::string_view::npos) {
        const std::string_view prefix = word.substr(0, hash);
        base = prefix == "2" ? 2 : prefix == "8" ? 8 : prefix == "16" ? 16 : 0;
        word.remove_prefix(hash + 1);
    }
    if (base == 0 || word.empty()) {
        return false;
    }
    for (const char c : word) {
        if (c != '_' && !ParseDigits(std::string_view(&c, 1), base)) {
            return false;
        }
    }
    return true;
}

} // namespace

bool ConstantExpression::IsIntegerType(std::string_view name) {
    return FindIntegerType(name) != nullptr;
}

ConstantExpression::ConstantExpression(std::string_view text, const Lookup& lookup,
                                       std::size_t depth)
    : m_Text(text), m_Lookup(lookup), m_Depth(depth) {}

ConstantExpression::Result ConstantExpression::Evaluate(std::string_view text, const Lookup& lookup,
                                                        std::size_t depth) {
    ConstantExpression expression(text, lookup, depth);
    expression.SkipBlanks();
    if (expression.m_Pos == text.size()) {
        return Result::Failure("no value is written");
    }
    auto value = expression.Sum();
    expression.SkipBlanks();
    if (value && expression.m_Pos < text.size()) {
        value = expression.Fail("unexpected " + Quoted(text.substr(expression.m_Pos, 20)));
    }
    return value ? Result::Of(*value) : Result::Failure(std::move(expression.m_Error));
}

std::optional<std::int64_t> ConstantExpression::Sum() {
    auto value = Product();
    while (value) {
        SkipBlanks();
        const char op = m_Pos < m_Text.size() ? m_Text[m_Pos] : '\0';
        if (op != '+' && op != '-') {
            break;
        }
        ++m_Pos;
        const auto right = Product();
        value = right ? Apply(op, *value, *right) : std::nullopt;
    }
    return value;
}

std::optional<std::int64_t> ConstantExpression::Product() {
    auto value = Signed();
    while (value) {
        SkipBlanks();
        char op = m_Pos < m_Text.size() ? m_Text[m_Pos] : '\0';
        if (op == '*' || op == '/') {
            ++m_Pos;
        } else if (TakeMod()) {
            op = '%';
        } else {
            break;
        }
        const auto right = Signed();
        value = right ? Apply(op, *value, *right) : std::nullopt;
    }
    return value;
}

// Signs are read in a loop, so that a long run of them costs no stack.
std::optional<std::int64_t> ConstantExpression::Signed() {
    bool negative = false;
    while (true) {
        SkipBlanks();
        if (Take('-')) {
            negative = !negative;
        } else if (!Take('+')) {
            break;
        }
    }
    const auto value = Operand();
    return value && negative ? Apply('-', 0, *value) : value;
}

std::optional<std::int64_t> ConstantExpression::Operand() {
    if (m_Pos == m_Text.size()) {
        return Fail("a value is missing at the end");
    }
    const char c = m_Text[m_Pos];
    if (c == '(') {
        return Parenthesised();
    }
    if (IsDigit(c)) {
        return Number();
    }
    if (IsLetter(c)) {
        return Named();
    }
    return Fail("a value is missing before " + Quoted(m_Text.substr(m_Pos, 20)));
}

std::optional<std::int64_t> ConstantExpression::Parenthesised() {
    ++m_Pos;
    if (++m_Depth > kMaxDepth) {
        return Fail("parentheses and constants nest deeper than " + std::to_string(kMaxDepth) +
                    " levels");
    }
    const auto value = Sum();
    --m_Depth;
    SkipBlanks();
    if (value && !Take(')')) {
        return Fail("a '(' is not closed");
    }
    return value;
}

std::optional<std::int64_t> ConstantExpression::Number() {
    const std::string_view word = Word();
    if (const auto value = ParseIntegerLiteral(word)) {
        return value;
    }
    return Fail(Quoted(word) + (OnlyDigits(word) ? " does not fit 64 bits" : " is not an integer"));
}

// A constant (Name, List.Name), an enumeration value (Type#Value, Type.Value) or a typed
// literal (INT#5).
std::optional<std::int64_t> ConstantExpression::Named() {
    const std::size_t start = m_Pos;
    const std::string_view first = Identifier();
    if (EqualsNoCase(first, "MOD")) {
        return Fail("MOD needs a value on its left");
    }
    if (Take('#')) {
        if (const IntegerType* type = FindIntegerType(first)) {
            return TypedLiteral(type->name);
        }
        if (Identifier().empty()) {
            return Fail("cannot read " + Quoted(m_Text.substr(start, m_Pos - start)));
        }
    }
    while (m_Pos + 1 < m_Text.size() && m_Text[m_Pos] == '.' && IsLetter(m_Text[m_Pos + 1])) {
        ++m_Pos;
        Identifier();
    }
    if (m_Depth + 1 > kMaxDepth) {
        return Fail("parentheses and constants nest deeper than " + std::to_string(kMaxDepth) +
                    " levels");
    }
    Result result = m_Lookup(m_Text.substr(start, m_Pos - start), m_Depth + 1);
    return result.value ? result.value : Fail(std::move(result.error));
}

std::optional<std::int64_t> ConstantExpression::TypedLiteral(std::string_view type) {
    const std::size_t start = m_Pos;
    if (m_Pos < m_Text.size() && (m_Text[m_Pos] == '-' || m_Text[m_Pos] == '+')) {
        ++m_Pos;
    }
    Word();
    const std::string_view literal = m_Text.substr(start, m_Pos - start);
    const auto value = ParseIntegerLiteral(literal);
    const IntegerType* range = FindIntegerType(type);
    if (!value) {
        return Fail(Quoted(std::string(type) + "#" + std::string(literal)) + " is not an integer");
    }
    if (*value < range->min || *value > range->max) {
        return Fail(Quoted(std::string(type) + "#" + std::string(literal)) + " does not fit " +
                    std::string(type));
    }
    return value;
}

std::optional<std::int64_t> ConstantExpression::Apply(char op, std::int64_t a, std::int64_t b) {
    std::int64_t result = 0;
    bool overflow = false;
    switch (op) {
    case '+':
        overflow = __builtin_add_overflow(a, b, &result);
        break;
    case '-':
        overflow = __builtin_sub_overflow(a, b, &result);
        break;
    case '*':
        overflow = __builtin_mul_overflow(a, b, &result);
        break;
    default: // '/' and '%' (MOD): both truncate toward zero, as C++ does
        if (b == 0) {
            return Fail(op == '/' ? "division by zero" : "MOD by zero");
        }
        if (b == -1) {
            overflow = op == '/' && a == std::numeric_limits<std::int64_t>::min();
            result = op == '/' ? (overflow ? 0 : -a) : 0;
        } else {
            result = op == '/' ? a / b : a % b;
        }
        break;
    }
    if (overflow) {
        return Fail("the value does not fit 64 bits");
    }
    return result;
}

void ConstantExpression::SkipBlanks() {
    while (m_Pos < m_Text.size() && (m_Text[m_Pos] == ' ' || m_Text[m_Pos] == '\t' ||
                                     m_Text[m_Pos] == '\n' || m_Text[m_Pos] == '\r')) {
        ++m_Pos;
    }
}

bool ConstantExpression::Take(char c) {
    if (m_Pos < m_Text.size() && m_Text[m_Pos] == c) {
        ++m_Pos;
        return true;
    }
    return false;
}

bool ConstantExpression::TakeMod() {
    const std::string_view rest = m_Text.substr(m_Pos);
    if (rest.size() < 3 || !EqualsNoCase(rest.substr(0, 3), "MOD") ||
        (rest.size() > 3 && (IsLetter(rest[3]) || IsDigit(rest[3])))) {
        return false;
    }
    m_Pos += 3;
    return true;
}

std::string_view ConstantExpression::Word() {
    const std::size_t start = m_Pos;
    while (m_Pos < m_Text.size() &&
           (IsLetter(m_Text[m_Pos]) || IsDigit(m_Text[m_Pos]) || m_Text[m_Pos] == '#')) {
        ++m_Pos;
    }
    return m_Text.substr(start, m_Pos - start);
}

std::string_view ConstantExpression::Identifier() {
    const std::size_t start = m_Pos;
    if (m_Pos < m_Text.size() && IsLetter(m_Text[m_Pos])) {
        while (m_Pos < m_Text.size() && (IsLetter(m_Text[m_Pos]) || IsDigit(m_Text[m_Pos]))) {
            ++m_Pos;
        }
    }
    return m_Text.substr(start, m_Pos - start);
}

std::optional<std::int64_t> ConstantExpression::Fail(std::string reason) {
    if (m_Error.empty()) {
        m_Error = std::move(reason);
    }
    return std::nullopt;
}

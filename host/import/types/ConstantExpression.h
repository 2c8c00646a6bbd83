#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// An integer constant expression, as an array bound, a subrange bound or a string length may be
// written: binary + - * / MOD, unary + and -, parentheses, integer literals (42, 16#FF, 1_000,
// typed as INT#5) and names (MAX_ITEMS, Gvl.MAX_ITEMS, Colour#Red), whose values a lookup
// gives. / and MOD truncate toward zero; every step is checked against 64 bits.
class ConstantExpression {
public:
    // Parentheses, and constants whose values name other constants, nest at most this deep
    // together, so that no text can exhaust the stack.
    static constexpr std::size_t kMaxDepth = 256;

    struct Result {
        std::optional<std::int64_t> value;
        std::string error; // why there is no value

        static Result Of(std::int64_t value) { return {value, {}}; }
        static Result Failure(std::string reason) { return {std::nullopt, std::move(reason)}; }
    };
    // The value of a name as written; `depth` is the nesting reached at the name, for a lookup
    // that evaluates another expression to pass on.
    using Lookup = std::function<Result(std::string_view name, std::size_t depth)>;

    // The value of the text, or why it has none: the first fault from the left.
    static Result Evaluate(std::string_view text, const Lookup& lookup, std::size_t depth = 0);
    // True for the integer types, by their IEC names in any case (INT, UDINT, WORD, ...).
    static bool IsIntegerType(std::string_view name);

private:
    ConstantExpression(std::string_view text, const Lookup& lookup, std::size_t depth);

    // Each reads its part from m_Pos on; nothing once m_Error is set.
    std::optional<std::int64_t> Sum();
    std::optional<std::int64_t> Product();
    std::optional<std::int64_t> Signed();
    std::optional<std::int64_t> Operand();
    std::optional<std::int64_t> Parenthesised();
    std::optional<std::int64_t> Number();
    std::optional<std::int64_t> Named();
    std::optional<std::int64_t> TypedLiteral(std::string_view type);
    std::optional<std::int64_t> Apply(char op, std::int64_t a, std::int64_t b);

    void SkipBlanks();
    bool Take(char c);
    bool TakeMod();
    std::string_view Word(); // letters, digits, "_" and "#" from m_Pos on
    std::string_view Identifier();
    std::optional<std::int64_t> Fail(std::string reason);

    std::string_view m_Text;
    const Lookup& m_Lookup;
    std::size_t m_Depth;
    std::size_t m_Pos = 0;
    std::string m_Error;
};

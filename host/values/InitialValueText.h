#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Reads the import's canonical initial-value texts: an array value "[1, 2, 3(0)]" (a count
// before parentheses repeats what they hold) and a structure value "(Speed := 5, Label := 'A')".
// Commas and brackets inside quotes or nested values do not split.
class InitialValueText {
public:
    // The elements of an array value with repetitions spelled out, at most `limit` of them;
    // nothing when the text is not an array value.
    static std::optional<std::vector<std::string>> ArrayItems(std::string_view text,
                                                              std::size_t limit);
    // Member name and value text of a structure value; nothing when it is not one.
    static std::optional<std::vector<std::pair<std::string, std::string>>>
    StructItems(std::string_view text);

private:
    static std::optional<std::vector<std::string>> Split(std::string_view text, char open,
                                                         char close);
};

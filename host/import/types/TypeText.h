#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A type written as text, read at its outer level: an array text "ARRAY[l..h, ...] OF T" gives
// its bounds and the text of its element (read again when the element is resolved), a string
// text "STRING[n]" or "WSTRING(n)" the text of its length (evaluated as a constant expression
// by the resolver); any other text is a name (an elementary keyword
// or a declared type).
class TypeText {
public:
    enum class Form { Name, Array, String };
    using Bounds = std::vector<std::pair<std::string, std::string>>; // low, high as written

    struct Array {
        Bounds dims;
        std::string_view element; // the element's type text, as written
    };
    struct String {
        bool wide = false;
        std::string_view length; // as written, blanks around it removed
    };

    // The form of a trimmed, upper-cased text.
    static Form Classify(std::string_view upper);
    // On failure these return nothing and say why in error.
    static std::optional<Array> ParseArray(std::string_view text, std::string& error);
    static std::optional<String> ParseString(std::string_view text, std::string& error);

private:
    static bool ParseDimensions(std::string_view list, std::string_view text, Bounds& dims,
                                std::string& error);
};

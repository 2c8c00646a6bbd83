#include "import/types/TypeText.h"

#include "text/HostText.h"

#include <algorithm>

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

} // namespace

TypeText::Form TypeText::Classify(std::string_view upper) {
    const std::string_view afterArray =
        TrimBlanks(upper.substr(std::min<std::size_t>(upper.size(), 5)));
    if (StartsWith(upper, "ARRAY") && StartsWith(afterArray, "[")) {
        return Form::Array;
    }
    for (const std::string_view prefix : {"STRING[", "STRING(", "WSTRING[", "WSTRING("}) {
        if (StartsWith(upper, prefix)) {
            return Form::String;
        }
    }
    return Form::Name;
}

std::optional<TypeText::Array> TypeText::ParseArray(std::string_view text, std::string& error) {
    const std::string upper = ToUpperAscii(text);
    const std::size_t open = upper.find('[');
    const std::size_t close = upper.find(']', open);
    const std::size_t of = close == std::string::npos ? close : upper.find("OF", close);
    if (of == std::string::npos || !TrimBlanks(upper.substr(close + 1, of - close - 1)).empty()) {
        error = "cannot read the array type " + Quoted(text);
        return std::nullopt;
    }
    Array array;
    if (!ParseDimensions(text.substr(open + 1, close - open - 1), text, array.dims, error)) {
        return std::nullopt;
    }
    array.element = text.substr(of + 2);
    return array;
}

// "l..h, l..h": every dimension needs its "..".
bool TypeText::ParseDimensions(std::string_view list, std::string_view text, Bounds& dims,
                               std::string& error) {
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view dim = list.substr(0, comma);
        const std::size_t dots = dim.find("..");
        if (dots == std::string_view::npos) {
            error = "cannot read the array bounds " + Quoted(dim) + " of " + Quoted(text);
            return false;
        }
        dims.emplace_back(TrimBlanks(dim.substr(0, dots)), TrimBlanks(dim.substr(dots + 2)));
        if (comma == std::string_view::npos) {
            return true;
        }
        list.remove_prefix(comma + 1);
    }
}

std::optional<TypeText::String> TypeText::ParseString(std::string_view text, std::string& error) {
    const std::size_t open = text.find_first_of("[(");
    const std::size_t close = text.find_last_of("])");
    const std::string_view length = close == std::string_view::npos || close < open
                                        ? std::string_view()
                                        : TrimBlanks(text.substr(open + 1, close - open - 1));
    const char closing = open == std::string_view::npos || text[open] == '[' ? ']' : ')';
    if (length.empty() || text[close] != closing || !TrimBlanks(text.substr(close + 1)).empty()) {
        error = "cannot read the string type " + Quoted(text);
        return std::nullopt;
    }
    return String{text.front() == 'W' || text.front() == 'w', length};
}

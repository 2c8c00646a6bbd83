#include "values/InitialValueText.h"

#include "text/HostText.h"
#include "text/IntegerLiteral.h"

namespace {

// The count of a repetition "n(value)", and the value; nothing when the item is not one.
std::optional<std::pair<std::size_t, std::string_view>> Repetition(std::string_view item) {
    const std::size_t open = item.find('(');
    if (open == 0 || open == std::string_view::npos || item.back() != ')') {
        return std::nullopt;
    }
    const auto count = ParseIntegerLiteral(item.substr(0, open));
    if (!count || *count < 0) {
        return std::nullopt;
    }
    return std::pair{static_cast<std::size_t>(*count),
                     TrimBlanks(item.substr(open + 1, item.size() - open - 2))};
}

} // namespace

std::optional<std::vector<std::string>> InitialValueText::Split(std::string_view text, char open,
                                                                char close) {
    text = TrimBlanks(text);
    if (text.size() < 2 || text.front() != open || text.back() != close) {
        return std::nullopt;
    }
    text = text.substr(1, text.size() - 2);
    std::vector<std::string> items;
    int depth = 0;
    char quote = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ',';
        if (quote != 0) {
            quote = c == quote && text[i - 1] != '$' ? 0 : quote;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '[' || c == '(') {
            ++depth;
        } else if (c == ']' || c == ')') {
            --depth;
        } else if (c == ',' && depth == 0) {
            items.emplace_back(TrimBlanks(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    if (items.size() == 1 && items.front().empty()) {
        items.clear();
    }
    return items;
}

std::optional<std::vector<std::string>> InitialValueText::ArrayItems(std::string_view text,
                                                                     std::size_t limit) {
    const auto items = Split(text, '[', ']');
    if (!items) {
        return std::nullopt;
    }
    std::vector<std::string> values;
    for (const std::string& item : *items) {
        const auto repeated = Repetition(item);
        const std::size_t count = repeated ? repeated->first : 1;
        const std::string value(repeated ? repeated->second : std::string_view(item));
        for (std::size_t i = 0; i < count && values.size() < limit; ++i) {
            values.push_back(value);
        }
    }
    return values;
}

std::optional<std::vector<std::pair<std::string, std::string>>>
InitialValueText::StructItems(std::string_view text) {
    const auto items = Split(text, '(', ')');
    if (!items) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> members;
    for (const std::string& item : *items) {
        const std::size_t assign = item.find(":=");
        if (assign == std::string::npos) {
            return std::nullopt;
        }
        members.emplace_back(TrimBlanks(std::string_view(item).substr(0, assign)),
                             TrimBlanks(std::string_view(item).substr(assign + 2)));
    }
    return members;
}

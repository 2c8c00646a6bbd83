#pragma once

#include <cstddef>
#include <string>
#include <vector>

class Program;

// The item names a program publishes, from what the plant file lists: names, browse patterns
// with '*' and '?' in any member or index ("Motor1.*", "Line.Conveyors[*].Belt.Speed"),
// "located" (every located variable) and "all" (every variable). Bounded: past kMaxValues
// values together, the list is refused with a message, never cut short silently.
class PublishItems {
public:
    static constexpr std::size_t kMaxValues = 10000;

    struct Result {
        std::vector<std::string> names; // each once, in the order found
        std::string error;

        bool Ok() const { return error.empty(); }
    };

    static Result Expand(const Program& program, const std::vector<std::string>& entries,
                         std::size_t maxValues = kMaxValues);

    // Whether the text matches the glob pattern ('*' any run, '?' one character).
    static bool Matches(const std::string& pattern, const std::string& text);

private:
    // The parts of a pattern: members, and indexes with their brackets ("[*]").
    static std::vector<std::string> Parts(const std::string& pattern);
    static bool ExpandPattern(const Program& program, const std::string& pattern,
                              std::size_t maxValues, std::vector<std::string>& names,
                              std::string& error);
};

#include "mqtt/PublishItems.h"

#include "core/ItemName.h"
#include "core/Program.h"
#include "core/ValueAccess.h"

#include <set>

namespace {

bool HasWildcard(const std::string& text) {
    return text.find_first_of("*?") != std::string::npos;
}

// The last part of a child's path below its parent: "Speed" of "Belt.Speed", "[2]" of "A[2]".
std::string LastPart(const std::string& parent, const std::string& path) {
    std::string part = path.substr(std::min(parent.size(), path.size()));
    if (!part.empty() && part.front() == '.') {
        part.erase(0, 1);
    }
    return part;
}

std::string Join(const std::string& path, const std::string& part) {
    if (path.empty() || part.front() == '[') {
        return path + part;
    }
    return path + "." + part;
}

} // namespace

bool PublishItems::Matches(const std::string& pattern, const std::string& text) {
    std::size_t p = 0;
    std::size_t t = 0;
    std::size_t star = std::string::npos;
    std::size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (star != std::string::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::vector<std::string> PublishItems::Parts(const std::string& pattern) {
    std::vector<std::string> parts;
    std::string part;
    const auto flush = [&] {
        if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    };
    for (const char c : pattern) {
        if (c == '.') {
            flush();
        } else if (c == '[') {
            flush();
            part = "[";
        } else if (c == ']') {
            part += c;
            flush();
        } else {
            part += c;
        }
    }
    flush();
    return parts;
}

bool PublishItems::ExpandPattern(const Program& program, const std::string& pattern,
                                 std::size_t maxValues, std::vector<std::string>& names,
                                 std::string& error) {
    std::vector<std::string> paths = {""};
    for (const std::string& part : Parts(pattern)) {
        std::vector<std::string> next;
        for (const std::string& path : paths) {
            if (!HasWildcard(part)) {
                next.push_back(Join(path, part));
                continue;
            }
            BrowseOptions browse;
            browse.path = path;
            for (const BrowsedPage& page : program.BrowseAll(browse)) {
                for (const BrowsedChild& child : page.children) {
                    if (Matches(part, LastPart(path, child.path))) {
                        next.push_back(child.path);
                    }
                }
            }
            if (next.size() > maxValues) {
                error = "'" + pattern + "' matches more than " + std::to_string(maxValues) +
                        " items; name fewer";
                return false;
            }
        }
        paths = std::move(next);
    }
    names.insert(names.end(), paths.begin(), paths.end());
    return true;
}

PublishItems::Result PublishItems::Expand(const Program& program,
                                          const std::vector<std::string>& entries,
                                          std::size_t maxValues) {
    Result result;
    std::vector<std::string> found;
    for (const std::string& entry : entries) {
        if (entry == "located" || entry == "all") {
            const VariableTable& variables = program.Variables();
            for (std::size_t i = 0; i < variables.Size(); ++i) {
                if (entry == "all" || variables.Located(i)) {
                    found.emplace_back(variables.Name(i));
                }
            }
        } else if (HasWildcard(entry)) {
            if (!ExpandPattern(program, entry, maxValues, found, result.error)) {
                return result;
            }
        } else {
            const ItemName checked = ItemName::Check(entry);
            if (!checked.Ok()) {
                result.error = "'" + entry + "' is " + checked.Reason();
                return result;
            }
            found.push_back(checked.Text());
        }
        if (found.size() > maxValues) {
            break;
        }
    }
    std::set<std::string> seen;
    for (std::string& name : found) {
        if (seen.insert(name).second) {
            result.names.push_back(std::move(name));
        }
    }
    const std::size_t values = program.Values().CountLeaves(result.names, maxValues);
    if (result.names.size() > maxValues || values > maxValues) {
        result.error = "the items to publish hold more than " + std::to_string(maxValues) +
                       " values; name fewer";
        result.names.clear();
    }
    return result;
}

#include "Varbank/MatchNamePattern.h"

bool MatchNamePattern(const std::string& name, const std::string& pattern) {
    const std::size_t star = pattern.find('*');
    if (star == 0) {
        return true;
    }
    const std::size_t prefixLength = star == std::string::npos ? pattern.size() : star;
    return name.compare(0, prefixLength, pattern, 0, prefixLength) == 0 &&
           name.size() >= prefixLength;
}

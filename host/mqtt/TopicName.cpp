#include "mqtt/TopicName.h"

#include <algorithm>

namespace {

bool IsIndex(std::string_view level) {
    if (!level.empty() && level.front() == '-') {
        level.remove_prefix(1);
    }
    return !level.empty() &&
           std::all_of(level.begin(), level.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string TopicName::FromItem(std::string_view path) {
    std::string topic;
    topic.reserve(path.size());
    for (const char c : path) {
        switch (c) {
        case '.':
        case '[':
        case ',':
            topic += '/';
            break;
        case ']':
            break;
        default:
            topic += c;
        }
    }
    return topic;
}

std::optional<std::string> TopicName::ToItem(std::string_view levels) {
    std::string name;
    name.reserve(levels.size() + 8);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(levels.find('/', start), levels.size());
        const std::string_view level = levels.substr(start, end - start);
        if (level.empty() || level.find_first_of(".[],") != std::string_view::npos) {
            return std::nullopt;
        }
        if (IsIndex(level)) {
            name += '[';
            name += level;
            name += ']';
        } else {
            name += name.empty() ? "" : ".";
            name += level;
        }
        if (end == levels.size()) {
            return name;
        }
        start = end + 1;
    }
}

std::string TopicName::LevelFault(std::string_view level) {
    if (level.empty()) {
        return "an empty topic level";
    }
    for (const char c : level) {
        if (c == '/' || c == '+' || c == '#') {
            return std::string("'") + c + "' in a topic level";
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return "a control character in a topic level";
        }
    }
    return {};
}

#include "service/HttpRequest.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::string HttpRequest::Param(const std::string& key) const {
    const auto found = params.find(key);
    return found == params.end() ? std::string() : found->second;
}

std::vector<std::string> HttpRequest::Params(const std::string& key) const {
    std::vector<std::string> values;
    const auto [first, last] = params.equal_range(key);
    for (auto it = first; it != last; ++it) {
        values.push_back(it->second);
    }
    return values;
}

bool HttpRequest::Decode(std::string_view text, bool plusIsSpace, std::string& decoded) {
    decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                return false;
            }
            decoded.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            decoded.push_back(plusIsSpace && text[i] == '+' ? ' ' : text[i]);
        }
    }
    return true;
}

bool HttpRequest::SplitSegments(std::string_view rawPath) {
    segments.clear();
    while (true) {
        const std::size_t slash = rawPath.find('/');
        std::string segment;
        if (!Decode(rawPath.substr(0, slash), false, segment)) {
            return false;
        }
        segments.push_back(std::move(segment));
        if (slash == std::string_view::npos) {
            return true;
        }
        rawPath.remove_prefix(slash + 1);
    }
}

bool HttpRequest::SetTarget(std::string_view text) {
    target = std::string(text);
    const std::size_t question = text.find('?');
    const std::string_view rawPath = text.substr(0, question);
    if (text.empty() || text[0] != '/' || !Decode(rawPath, false, path) ||
        !SplitSegments(rawPath.substr(1))) {
        return false;
    }
    std::string_view query = question == std::string_view::npos ? "" : text.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? "" : query.substr(amp + 1);
        if (pair.empty()) {
            continue;
        }
        const std::size_t equals = pair.find('=');
        std::string key;
        std::string value;
        if (!Decode(pair.substr(0, equals), true, key) ||
            !Decode(equals == std::string_view::npos ? "" : pair.substr(equals + 1), true, value)) {
            return false;
        }
        params.emplace(std::move(key), std::move(value));
    }
    return true;
}

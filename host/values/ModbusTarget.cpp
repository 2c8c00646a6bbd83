#include "values/ModbusTarget.h"

namespace {

std::optional<std::uint64_t> Number(const std::string& text, std::uint64_t highest) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 6) {
        return std::nullopt;
    }
    const std::uint64_t value = std::stoull(text);
    return value <= highest ? std::optional(value) : std::nullopt;
}

} // namespace

std::optional<ModbusTarget> ModbusTarget::Parse(const std::string& text, std::string& error) {
    ModbusTarget target;
    std::string rest = text;
    const std::size_t slash = rest.rfind('/');
    if (slash != std::string::npos) {
        const auto unit = Number(rest.substr(slash + 1), 255);
        if (!unit) {
            error = "the unit after '/' is a number from 0 to 255";
            return std::nullopt;
        }
        target.unit = static_cast<std::uint8_t>(*unit);
        rest.resize(slash);
    }
    const std::size_t close = rest.rfind(']');
    const std::size_t colon = rest.rfind(':');
    if (colon != std::string::npos && (close == std::string::npos || colon > close)) {
        const auto port = Number(rest.substr(colon + 1), 65535);
        if (!port || *port == 0) {
            error = "the port after ':' is a number from 1 to 65535";
            return std::nullopt;
        }
        target.port = static_cast<std::uint16_t>(*port);
        rest.resize(colon);
    }
    if (rest.size() >= 2 && rest.front() == '[' && rest.back() == ']') {
        rest = rest.substr(1, rest.size() - 2);
    }
    if (rest.empty()) {
        error = "no host before the port or unit";
        return std::nullopt;
    }
    target.host = rest;
    return target;
}

std::string ModbusTarget::Text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port) + "/" + std::to_string(unit);
}

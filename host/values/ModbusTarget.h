#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Where a PLC answers Modbus TCP: HOST[:PORT][/UNIT], port 502 and unit 1 by default. A host
// is a name or an IPv4 address, or an IPv6 address in brackets ([::1]:1502).
struct ModbusTarget {
    std::string host;
    std::uint16_t port = 502;
    std::uint8_t unit = 1;

    // Nothing when the text is not of that form; error says why.
    static std::optional<ModbusTarget> Parse(const std::string& text, std::string& error);
    std::string Text() const;
};

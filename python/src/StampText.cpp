#include "StampText.h"

#include <cctype>
#include <sstream>

std::optional<PLCDicoStamping> StampText::Parse(const std::string& text) {
    constexpr int kWords = 5;
    PLCDicoStamping record{};
    std::istringstream fields(text);
    std::string field;
    int count = 0;
    while (std::getline(fields, field, ':')) {
        if (count == kWords || !ParseWord(field, record.m_Words[count])) {
            return std::nullopt;
        }
        ++count;
    }
    // getline drops a trailing empty field: "1:2:3:4:5:" must not pass.
    if (count != kWords || text.back() == ':') {
        return std::nullopt;
    }
    return record;
}

bool StampText::ParseWord(const std::string& field, std::uint32_t& word) {
    if (field.empty() || field.size() > 8) {
        return false;
    }
    word = 0;
    for (const char c : field) {
        if (std::isxdigit(static_cast<unsigned char>(c)) == 0) {
            return false;
        }
        const int digit = std::isdigit(static_cast<unsigned char>(c)) != 0
                              ? c - '0'
                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        word = word * 16 + static_cast<std::uint32_t>(digit);
    }
    return true;
}

#include "Varbank/CSymbKorvoAnalyser.h"

#include <limits>

namespace {

constexpr const char* kNumericChars = "-0123456789";
constexpr const char* kIndexChars = "-0123456789,.";

} // namespace

std::int32_t CSymbKorvoAnalyser::Analyse(std::string& text, std::int32_t level) {
    // An empty rest ends the analysis without counting as an element.
    if (text.empty()) {
        return 1;
    }
    if (level > kMaxItems - 1 || level < 0) {
        return 0;
    }
    m_nLast = level;
    if (text[0] == '.') {
        text.erase(0, 1);
    }
    const std::int32_t result =
        !text.empty() && text[0] == '[' ? AnalyseIndex(text, level) : AnalyseName(text, level);
    if (result == 1) {
        m_bValid = 1;
    } else if (level == 0) {
        Reset();
    }
    return result;
}

// text starts with "[": an index element, then the rest behind the closing character.
std::int32_t CSymbKorvoAnalyser::AnalyseIndex(std::string& text, std::int32_t level) {
    const std::size_t end = text.find_first_of("[.]", 1);
    const std::string body = text.substr(1, end == std::string::npos ? std::string::npos : end - 1);
    std::int32_t len = 0;
    if (IsIndexText(body, len) == 0) {
        return 0;
    }
    Fill(level, std::string(), body, 0);
    // Skip "[", the body and the one character behind it, whatever that is.
    const std::size_t restPos = body.size() + 2;
    std::string rest = restPos < text.size() ? text.substr(restPos) : std::string();
    return Analyse(rest, level + 1);
}

// text starts with a name: a name element, a bit element or a bare number.
std::int32_t CSymbKorvoAnalyser::AnalyseName(std::string& text, std::int32_t level) {
    const std::size_t cut = text.find_first_of("[.");
    if (cut == std::string::npos) {
        const bool numeric = IsNumericFrom(text, 0) != 0;
        Fill(level, text, numeric ? text : std::string(), numeric ? 1 : 0);
        return 1;
    }
    const std::string name = text.substr(0, cut);
    if (text[cut] == '.') {
        if (IsNumericFrom(text, cut + 1) != 0) {
            Fill(level, name, text.substr(cut + 1), 1);
            return 1;
        }
        Fill(level, name, std::string(), 0);
        std::string rest = text.substr(cut + 1);
        return Analyse(rest, level + 1);
    }
    std::int32_t len = 0;
    if (IsIndexText(text.substr(cut + 1), len) == 0) {
        return 0;
    }
    Fill(level, name, std::string(), 0);
    std::string rest = text.substr(cut);
    return Analyse(rest, level + 1);
}

void CSymbKorvoAnalyser::Fill(std::int32_t level, const std::string& name, const std::string& index,
                              std::int32_t bit) {
    CSymbKorvoAnalysedItem& item = m_aItems[level];
    item.m_bFirst = level == 0 ? 1 : 0;
    item.m_strName = name;
    item.m_strIndex = index;
    item.m_bBit = bit;
}

std::int32_t CSymbKorvoAnalyser::GetItemText(std::int32_t n, std::string& out) const {
    if (n >= 0 && n <= m_nLast && n < kMaxItems) {
        out = m_aItems[n].m_strName;
        return 1;
    }
    out.clear();
    return 0;
}

void CSymbKorvoAnalyser::Reset() {
    m_bValid = 0;
    m_nLast = 0;
}

std::int32_t CSymbKorvoAnalyser::IsNumericFrom(const std::string& text, std::size_t pos) {
    if (pos >= text.size()) {
        return 1;
    }
    return text.find_first_not_of(kNumericChars, pos) == std::string::npos ? 1 : 0;
}

std::int32_t CSymbKorvoAnalyser::IsIndexText(const std::string& text, std::int32_t& len) {
    const std::size_t end = text.find(']');
    const std::size_t partLength = end == std::string::npos ? text.size() : end;
    const std::size_t bad = text.find_first_not_of(kIndexChars);
    if (bad != std::string::npos && bad < partLength) {
        return 0;
    }
    len = partLength > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())
              ? std::numeric_limits<std::int32_t>::max()
              : static_cast<std::int32_t>(partLength);
    return 1;
}

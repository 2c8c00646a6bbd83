#pragma once

#include "CSymbKorvoAnalysedItem.h"
#include "PlatformApi.h"

#include <cstdint>
#include <string>

// Splits an item name such as MOTOR1.SPEED, TAB[4].X or STATUS.3 into at most 16 path
// elements. It only cuts text, keeping the case as typed; it knows nothing of the dictionary.
class VARBANK_API CSymbKorvoAnalyser {
public:
    static constexpr std::int32_t kMaxItems = 16;

    CSymbKorvoAnalyser() = default;
    virtual ~CSymbKorvoAnalyser() = default;
    CSymbKorvoAnalyser(const CSymbKorvoAnalyser&) = delete;
    CSymbKorvoAnalyser& operator=(const CSymbKorvoAnalyser&) = delete;

    // Analyses text from element number level on; 1 on success, 0 on failure. A leading "."
    // is removed from the caller's text.
    std::int32_t Analyse(std::string& text, std::int32_t level);
    // Copies element n's name into out and returns 1 when 0 <= n <= m_nLast; else empties out
    // and returns 0.
    std::int32_t GetItemText(std::int32_t n, std::string& out) const;
    void Reset();

    // 1 when text from pos to its end holds only "-0123456789" (an empty part included).
    static std::int32_t IsNumericFrom(const std::string& text, std::size_t pos);
    // 1 when the part of text before its first "]" holds only "-0123456789,."; stores that
    // part's length in len. Otherwise 0, len unchanged.
    static std::int32_t IsIndexText(const std::string& text, std::int32_t& len);

    std::int32_t m_nLast = 0;
    CSymbKorvoAnalysedItem m_aItems[kMaxItems];
    std::int32_t m_bValid = 0;

private:
    std::int32_t AnalyseIndex(std::string& text, std::int32_t level);
    std::int32_t AnalyseName(std::string& text, std::int32_t level);
    void Fill(std::int32_t level, const std::string& name, const std::string& index,
              std::int32_t bit);
};

// Any bytes as an item name: the analysis never overruns its 16 elements and its state stays
// consistent.
#include "CSymbKorvoAnalyser.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    CSymbKorvoAnalyser analyser;
    const std::int32_t result = analyser.Analyse(text, 0);
    if (result != 0 && result != 1) {
        std::abort();
    }
    if (analyser.m_nLast < 0 || analyser.m_nLast >= CSymbKorvoAnalyser::kMaxItems) {
        std::abort();
    }
    if (result == 0 && (analyser.m_nLast != 0 || analyser.m_bValid != 0)) {
        std::abort();
    }
    std::string item;
    for (std::int32_t i = -1; i <= analyser.m_nLast + 1; ++i) {
        analyser.GetItemText(i, item);
    }
    return 0;
}

#include "Varbank/CVarbank.h"
#include "Varbank/VarbankCodes.h"
#include "Varbank/tagETYPMGRTypeCode.h"
#include "platform/TextUtil.h"

namespace {

// Text of a word position by the bit, the parity of the offset and the BOOL rule.
std::string WordAddressText(std::uint32_t word, std::uint32_t rel, std::uint8_t bit,
                            std::int32_t size, std::uint32_t typeCode) {
    const auto n = static_cast<int>(word);
    const bool odd = (rel & 1U) != 0;
    if (bit != BIT_NONE) {
        if (!odd) {
            return StrFormat("%%MW%d.%d", n, static_cast<int>(bit));
        }
        // The odd byte is the high byte of its word.
        return bit < 8 ? StrFormat("%%MW%d.%d", n, bit + 8) : std::string();
    }
    if (size == 1 && typeCode == ETYPMGR_BOOL) {
        return StrFormat(odd ? "%%MW%d.8" : "%%MW%d.0", n);
    }
    return StrFormat("%%MW%d", n);
}

} // namespace

void CVarbank::FormatPhysicalAddress(std::int32_t areaKind, std::uint16_t block,
                                     std::uint32_t offset, std::uint8_t bit, std::int32_t size,
                                     std::uint32_t typeCode, std::string& text) const {
    text.clear();
    if (areaKind >= AREA_KIND_SECONDARY) {
        return;
    }
    if (block == m_WordArea.Segment) {
        const PLCMemoryArea& area = m_WordArea;
        // 32-bit arithmetic throughout, both bounds inclusive.
        if (area.Count == 0 || offset < area.StartOffset ||
            offset > area.StartOffset + 2U * area.Count) {
            return;
        }
        const std::uint32_t rel = offset - area.StartOffset;
        const std::uint32_t word = rel / 2 + area.FirstIndex;
        if (word > area.Count) {
            return;
        }
        text = WordAddressText(word, rel, bit, size, typeCode);
    } else if (block == m_BitArea.Segment) {
        const PLCMemoryArea& area = m_BitArea;
        if (area.Count == 0 || offset < area.StartOffset ||
            offset > area.StartOffset + area.Count) {
            return;
        }
        const std::uint32_t n = offset - area.StartOffset + area.FirstIndex;
        if (n >= area.FirstIndex + area.Count) {
            return;
        }
        text = StrFormat("%%M%d", static_cast<int>(n));
    }
}

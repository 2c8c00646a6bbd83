#include "Varbank/CAppParameters.h"
#include "Varbank/CVarbank.h"
#include "Varbank/VarbankCodes.h"
#include "platform/TextUtil.h"

CSymb::Consistence CVarbank::CheckDicoStamp(const PLCDicoStamping* record) {
    if (m_Stamp[0] == 0) {
        return CONSISTENCE_NO_STAMP;
    }
    // A record must be given while the dictionary holds a stamp; without one nothing matches.
    if (record == nullptr) {
        return CONSISTENCE_MISMATCH;
    }
    const std::uint32_t* words = record->m_Words;
    if (words[0] == m_Stamp[0] && words[2] == m_Stamp[2] && words[3] == m_Stamp[3]) {
        return words[1] != m_Stamp[1] ? CONSISTENCE_PARTIAL : CONSISTENCE_OK;
    }
    return CONSISTENCE_MISMATCH;
}

CSymb::Consistence CVarbank::CompareStamp(std::int32_t request, CAppParameters* params,
                                          Consistence* result, std::uint32_t) {
    if (params == nullptr || params->GetKind() != APP_PARAMETERS_KIND) {
        m_Consistence = CONSISTENCE_NONE;
        return CONSISTENCE_NONE;
    }
    CSharedLock guard(m_Lock);
    // Without a result variable the answer is computed but written nowhere.
    Consistence answer = result != nullptr ? *result : CONSISTENCE_NONE;
    if (request == STAMP_REQUEST_COMPARE) {
        const std::uint32_t* words = params->m_StampWords; // stamp words 0, 1, -, 2, 3
        if (words[0] == m_Stamp[0] && words[3] == m_Stamp[2] && words[4] == m_Stamp[3]) {
            answer = words[1] != m_Stamp[1] ? CONSISTENCE_PARTIAL : CONSISTENCE_OK;
        } else {
            answer = CONSISTENCE_MISMATCH;
        }
    } else if (request == STAMP_REQUEST_CLEAR) {
        answer = CONSISTENCE_NONE;
    }
    if (result != nullptr) {
        *result = answer;
    }
    return answer;
}

std::string CVarbank::GetStampText() {
    CScopedLock guard(m_Lock);
    m_StampText = StrFormat("%X:%X:%X:%X:%X", m_Stamp[0].load(), m_Stamp[1].load(),
                            m_Stamp[2].load(), m_Stamp[3].load(), m_Stamp[4].load());
    return m_StampText;
}

#include "CVarbank.h"

HRESULT CVarbank::SearchAndGetFF(std::uint32_t, const char* const*, std::string&, std::string&,
                                 ImplemRecord**, std::uint32_t*, PropertyEntry**) {
    CScopedLock guard(m_Lock);
    return E_NOTIMPL;
}

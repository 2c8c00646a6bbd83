#include "CVarbank.h"

HRESULT CVarbank::BrowseNames(const char*, const char*, VARTYPE, const char*, std::uint32_t,
                              std::uint32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                              const char*, std::vector<std::string>*, std::vector<std::string>*) {
    CScopedLock guard(m_Lock);
    return E_NOTIMPL;
}

#include "CVarbank.h"

HRESULT CVarbank::BrowseElements(const char*, const char*, VARTYPE, const char*, std::uint32_t,
                                 std::uint32_t, std::int32_t, std::int32_t, std::int32_t,
                                 std::int32_t, const char*, const OLECHAR*, OLECHAR**,
                                 std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                 std::uint32_t, std::int32_t*, std::uint32_t*, tagBROWSEELEMENT**,
                                 std::uint32_t*, std::vector<std::string>*) {
    CScopedLock guard(m_Lock);
    return E_NOTIMPL;
}

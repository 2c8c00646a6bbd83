#include "Varbank/CSymb.h"

// The interface's own answers, used by a provider that does not override them.

HRESULT CSymb::SearchAndGetFF(std::uint32_t, const char* const*, std::string&, std::string&,
                              ImplemRecord**, std::uint32_t*, PropertyEntry**) {
    return E_NOTIMPL;
}

HRESULT CSymb::Reserved4(std::uint32_t) {
    return E_NOTIMPL;
}

CSymb::Consistence CSymb::GetConsistence() {
    return CONSISTENCE_NO_STAMP;
}

void CSymb::SetTraceEnabled(std::int32_t) {}

CSymb::~CSymb() = default;

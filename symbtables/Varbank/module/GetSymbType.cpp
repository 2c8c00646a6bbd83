#include "Varbank/GetSymbType.h"

HRESULT GetSymbType(std::uint32_t* pKind) {
    if (pKind == nullptr) {
        return E_INVALIDARG;
    }
    *pKind = kVarbankProviderKind;
    return S_OK;
}

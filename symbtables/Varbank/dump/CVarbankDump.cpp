#include "CVarbank.h"

bool CVarbank::SaveBinaryForm() {
    CScopedLock guard(m_Lock);
    return false;
}

#include "Varbank/CAppParameters.h"

std::int32_t CAppParameters::GetKind() const {
    return m_Kind;
}

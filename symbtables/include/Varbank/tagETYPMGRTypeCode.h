#pragma once

#include <cstdint>

// Type codes of the elementary types: low 16 bits 0x0148, high 16 bits the type.
enum tagETYPMGRTypeCode : std::uint32_t {
    ETYPMGR_BOOL = 0x02290148,
    ETYPMGR_EBOOL = 0x04290148,
    ETYPMGR_BYTE = 0x01290148,
    ETYPMGR_STRING = 0x00120148,
    ETYPMGR_WSTRING = 0x00220148,
    ETYPMGR_UINT = 0x22590148,
    ETYPMGR_UDINT = 0x12590148,
    ETYPMGR_DINT = 0x06590148,
    ETYPMGR_DWORD = 0x00690148,
    ETYPMGR_TOD = 0x04040148,
    ETYPMGR_TIME = 0x00910148,
    ETYPMGR_DATE = 0x02040148,
    ETYPMGR_INT = 0x0A590148,
    ETYPMGR_REAL = 0x05510148,
    ETYPMGR_DT = 0x01040148,
    ETYPMGR_WORD = 0x00A90148,
};

// Codes that are not elementary.
inline constexpr std::uint32_t kTypeCodeUnknown = 2;     // not elementary, or not yet known
inline constexpr std::uint32_t kTypeCodeDerived = 0x208; // derived, not an elementary array

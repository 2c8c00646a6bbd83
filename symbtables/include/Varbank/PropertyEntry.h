#pragma once

#include "PlatformApi.h"
#include "Variant.h"

#include <cstdint>

// One item property handed to the client. A property list is one new[] array; the host's
// delete[] destroys every entry, which frees the strings they hold.
struct VARBANK_API PropertyEntry {
    std::uint32_t dwPropertyId = 0;
    VARIANT vValue;

    PropertyEntry();
    ~PropertyEntry();
    PropertyEntry(const PropertyEntry&) = delete;
    PropertyEntry& operator=(const PropertyEntry&) = delete;
};

#pragma once

// Symbol visibility of the library: everything not marked VARBANK_API stays inside libVarbank.so.
#if defined(VARBANK_STATIC_BUILD)
#define VARBANK_API
#else
#define VARBANK_API __attribute__((visibility("default")))
#endif

#pragma once

#include <cstdint>

// Milliseconds since the system started, on 32 bits (wraps after about 49.7 days).
std::uint32_t GetTickCount();

#pragma once

#include "PlatformApi.h"

#include <string>

// Name filter of browsing and of every listing. "*" alone, or a pattern starting with "*",
// accepts every name; otherwise the name must begin with the part of the pattern before its
// first "*" (the whole pattern when it holds none), compared with case.
VARBANK_API bool MatchNamePattern(const std::string& name, const std::string& pattern);

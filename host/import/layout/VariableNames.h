#pragma once

#include "import/Diagnostics.h"

#include "text/NameIndex.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The variable names of one scope (the globals, or the members of one structure or function
// block): each must be an identifier and unique in any case.
class VariableNames {
public:
    // scope: the type whose members these are; empty for the globals.
    explicit VariableNames(Diagnostics& diagnostics, std::string scope = {});

    void Reserve(std::size_t count);
    // False, reported, for a name that is not an identifier or that the scope already holds;
    // a note, when given, ends the report of a duplicate.
    bool Claim(const std::string& name, std::size_t line, const std::string& note = {});

private:
    Diagnostics& m_Diagnostics;
    std::string m_Scope;
    // The names claimed, with their lines, found by name without case. The list lives apart
    // so that the index that reads it stays valid when the scope is moved.
    std::unique_ptr<std::vector<std::pair<std::string, std::size_t>>> m_Claimed;
    NameIndex m_Index;
};

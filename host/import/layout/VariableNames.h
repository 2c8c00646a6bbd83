#pragma once

#include "import/Diagnostics.h"

#include <cstddef>
#include <string>
#include <unordered_map>

// The variable names of one scope (the globals, or the members of one structure or function
// block): each must be an identifier and unique in any case.
class VariableNames {
public:
    // scope: the type whose members these are; empty for the globals.
    explicit VariableNames(Diagnostics& diagnostics, std::string scope = {});

    void Reserve(std::size_t count) { m_Lines.reserve(count); }
    // False, reported, for a name that is not an identifier or that the scope already holds;
    // a note, when given, ends the report of a duplicate.
    bool Claim(const std::string& name, std::size_t line, const std::string& note = {});

private:
    Diagnostics& m_Diagnostics;
    std::string m_Scope;
    std::unordered_map<std::string, std::size_t> m_Lines; // upper-case name -> line
};

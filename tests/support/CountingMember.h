#pragma once

#include "CSymbXMLDDTMember.h"
#include "CountingTypes.h"

#include <string>

// A member that counts its constructions and destructions, so that the ownership of members
// by structures and function blocks can be checked.
class CountingMember : public CSymbXMLDDTMember {
public:
    CountingMember(Lifetimes& counts, const std::string& name, const std::string& typeName)
        : m_Counts(counts) {
        m_Name = name;
        m_TypeName = typeName;
        ++m_Counts.created;
    }
    ~CountingMember() override { ++m_Counts.destroyed; }

private:
    Lifetimes& m_Counts;
};

#pragma once

#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLItemDef.h"
#include "MAPOFDDTDEF.h"

#include <string>

// Test doubles that count their constructions and destructions, so that ownership can be
// checked.
struct Lifetimes {
    int created = 0;
    int destroyed = 0;
};

template <class Base> class Counting : public Base {
public:
    Counting(Lifetimes& counts, const std::string& name) : m_Counts(counts) {
        this->m_Name = name;
        ++m_Counts.created;
    }
    ~Counting() override { ++m_Counts.destroyed; }

private:
    Lifetimes& m_Counts;
};

using CountingItem = Counting<CSymbXMLItemDef>;
using CountingType = Counting<CSymbXMLDDTStructDef>;

// A type that answers IsOfKorvoType for one elementary code, standing in for an array type.
class ElementaryArrayStandIn : public CountingType {
public:
    ElementaryArrayStandIn(Lifetimes& counts, const std::string& name, tagETYPMGRTypeCode code)
        : CountingType(counts, name), m_Code(code) {}
    bool IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF&) override { return code == m_Code; }

private:
    tagETYPMGRTypeCode m_Code;
};

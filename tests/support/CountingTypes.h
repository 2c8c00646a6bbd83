#pragma once

#include "CSymbXMLDDTDef.h"
#include "CSymbXMLItemDef.h"
#include "MAPOFDDTDEF.h"

#include <string>
#include <vector>

// Test doubles that count constructions and destructions, and record the post-load calls, so
// that ownership and the walk of the catalogue can be checked.
struct Lifetimes {
    int created = 0;
    int destroyed = 0;
};

class CountingItem : public CSymbXMLItemDef {
public:
    CountingItem(Lifetimes& counts, const std::string& name) : m_Counts(counts) {
        m_Name = name;
        ++m_Counts.created;
    }
    ~CountingItem() override { ++m_Counts.destroyed; }

private:
    Lifetimes& m_Counts;
};

class CountingType : public CSymbXMLDDTDef {
public:
    CountingType(Lifetimes& counts, const std::string& name, bool dfb = false,
                 std::vector<std::string>* calls = nullptr)
        : m_Counts(counts), m_Dfb(dfb), m_Calls(calls) {
        m_Name = name;
        ++m_Counts.created;
    }
    ~CountingType() override { ++m_Counts.destroyed; }

    bool IsDFB() const override { return m_Dfb; }
    bool IsArray() const override { return false; }
    std::int32_t FindFinalTypeForBrowse(CSymbKorvoAnalyser&, std::int32_t, MAPOFDDTDEF&,
                                        CSymbXMLDDTDef*&, std::uint16_t&, std::uint32_t&,
                                        std::uint32_t&) override {
        return 0;
    }
    std::int32_t AnalyseSubPart(MAPOFDDTDEF&, CSymbKorvoAnalyser&, std::int32_t, std::int32_t,
                                tagRATVARPHYSICALIMPLEM&, std::string&, std::string&,
                                std::string&) override {
        return 0;
    }
    std::int32_t BuildCollectionFrom(const std::string&, const std::string&, VARTYPE,
                                     const std::string&, std::uint32_t, std::uint32_t, std::int32_t,
                                     std::int32_t, std::int32_t, std::uint16_t, std::uint32_t,
                                     std::uint32_t, std::int32_t, const std::string&,
                                     std::vector<std::string>&, std::vector<std::string>*,
                                     CVarbank*, std::vector<std::uint16_t>&) override {
        return 0;
    }
    void RemoveDFBMember(MAPOFDDTDEF*) override { Record("RemoveDFBMember"); }
    bool IsOfKorvoType(tagETYPMGRTypeCode, MAPOFDDTDEF&) override { return false; }
    void DefineSubType(MAPOFDDTDEF*) override { Record("DefineSubType"); }
    bool SaveBinary(CTextFile&) override { return true; }
    bool LoadBinary(CTextFile&) override { return false; }

private:
    void Record(const char* what) {
        if (m_Calls != nullptr) {
            m_Calls->push_back(std::string(what) + " " + m_Name);
        }
    }

    Lifetimes& m_Counts;
    bool m_Dfb;
    std::vector<std::string>* m_Calls;
};

// A type that answers IsOfKorvoType for one elementary code, standing in for an array type.
class ElementaryArrayStandIn : public CountingType {
public:
    ElementaryArrayStandIn(Lifetimes& counts, const std::string& name, tagETYPMGRTypeCode code)
        : CountingType(counts, name), m_Code(code) {}
    bool IsOfKorvoType(tagETYPMGRTypeCode code, MAPOFDDTDEF&) override { return code == m_Code; }

private:
    tagETYPMGRTypeCode m_Code;
};

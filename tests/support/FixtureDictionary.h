#pragma once

#include "CAppParameters.h"
#include "CSymbXMLDDTMember.h"
#include "CSymbXMLDDTStructDef.h"
#include "CSymbXMLDFBDef.h"
#include "CSymbXMLItemDef.h"
#include "CVarbank.h"
#include "DictionaryGenerator.h"

#include <memory>
#include <string>

// One dictionary for the resolution and browsing suites: structures inside structures, arrays
// of structures, two-dimensional arrays, function blocks with secondary-area members, names in
// mixed case. Word memory %MW0..%MW999 lies in block 1, bit memory %M0..%M511 in block 2;
// unlocated variables lie in block 3.
//
//   AXIS      struct  POS REAL @0, Vel INT @4 ("velocity"), FLAGS WORD @6            size 8
//   MOTOR     struct  Speed INT @0 ("motor speed"), STATE BOOL @2, AX AXIS @4,
//                     TAB ARRAY[0..3] OF AXIS @12, VALS ARRAY[1..4] OF INT @44,
//                     GRID ARRAY[0..1,0..2] OF INT @52                              size 64
//   FB_INNER  DFB     INNER_CHILD FB_LEAF @0, IN1 BOOL @0, Q INT @2, CNT DINT @0 (secondary)
//   FB_OUTER  DFB     INNER FB_INNER @0, EN BOOL @8, OUT INT @10, NESTED FB_INNER @12 (removed
//                     after loading), TMP INT @0 (secondary), LOC AXIS @2 (secondary)  size 20
//   M1 MOTOR @3:100, TAB ARRAY[0..9] OF INT @1:200, TABS ARRAY[0..9] OF AXIS @3:300,
//   GRID ARRAY[0..2,0..3] OF INT @1:300, FB1 FB_OUTER @3:400, W INT @1:20 (%MW10),
//   Flag BOOL @1:21 bit 3, motor2 MOTOR @3:500
class FixtureDictionary {
public:
    FixtureDictionary() {
        params.m_BitArea.Count = 512;
        dico = std::make_unique<CVarbank>("FIXTURE", "/tmp", &params);
        AddTypes();
        AddVariables();
        dico->FinalyzeListOfType();
        dico->Initialize(0, nullptr, 0, "/tmp", 0);
    }

    CVarbank& operator*() { return *dico; }
    CVarbank* operator->() { return dico.get(); }

    CAppParameters params = generated::Parameters();
    std::unique_ptr<CVarbank> dico;

private:
    template <class T>
    void Type(const char* name, std::initializer_list<CSymbXMLDDTMember*> members) {
        generated::AddType<T>(*dico, name, members);
    }

    void AddTypes() {
        using generated::Member;
        Type<CSymbXMLDDTStructDef>("AXIS", {Member("POS", "REAL", 0, 4),
                                            Member("Vel", "INT", 4, 2, 1, "velocity"),
                                            Member("FLAGS", "WORD", 6, 2)});
        Type<CSymbXMLDDTStructDef>(
            "Motor", {Member("Speed", "INT", 0, 2, 1, "motor speed"), Member("STATE", "BOOL", 2, 1),
                      Member("AX", "AXIS", 4, 8), Member("TAB", "ARRAY[0..3] OF AXIS", 12, 32),
                      Member("VALS", "ARRAY[1..4] OF INT", 44, 8),
                      Member("GRID", "ARRAY[0..1,0..2] OF INT", 52, 12)});
        Type<CSymbXMLDFBDef>("FB_LEAF", {Member("X", "BOOL", 0, 1)});
        Type<CSymbXMLDFBDef>("FB_INNER",
                             {Member("INNER_CHILD", "FB_LEAF", 0, 1), Member("IN1", "BOOL", 0, 1),
                              Member("Q", "INT", 2, 2), Member("CNT", "DINT", 0, 4, 2)});
        Type<CSymbXMLDFBDef>("FB_OUTER",
                             {Member("INNER", "FB_INNER", 0, 8), Member("EN", "BOOL", 8, 1),
                              Member("OUT", "INT", 10, 2, 1, "output"),
                              Member("NESTED", "FB_INNER", 12, 8), Member("TMP", "INT", 0, 2, 2),
                              Member("LOC", "AXIS", 2, 8, 2)});
    }

    void AddVariables() {
        using generated::Variable;
        CVarbank& d = *dico;
        Variable(d, "M1", "MOTOR", 3, 100, 64, "", "first motor");
        Variable(d, "motor2", "Motor", 3, 500, 64);
        Variable(d, "TAB", "ARRAY[0..9] OF INT", 1, 200, 20);
        Variable(d, "TABS", "ARRAY[0..9] OF AXIS", 3, 300, 80);
        Variable(d, "GRID", "ARRAY[0..2,0..3] OF INT", 1, 300, 24);
        Variable(d, "FB1", "FB_OUTER", 3, 400, 20);
        Variable(d, "W", "INT", 1, 20, 2, "%MW10", "a word");
        Variable(d, "Flag", "BOOL", 1, 21, 1)->m_Bit = 3;
    }
};

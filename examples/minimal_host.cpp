// A minimal host: load a dictionary by hand and ask it about one variable.
#include <Varbank.h>

#include <cstdio>

int main() {
    std::uint32_t kind = 0;
    GetSymbType(&kind); // 10: a symbol dictionary provider

    // The PLC's word memory: 1000 words %MW0.. at byte 0 of block 1.
    CAppParameters params;
    params.m_Kind = 2;
    params.m_AreasValid = 1;
    params.m_WordArea = {1000, 0, 1, 0};

    auto* dico = new CVarbank("LINE1", "/tmp", &params);

    auto* speed = new CSymbXMLItemDef();
    speed->m_Name = "Speed";
    speed->m_Comment = "conveyor speed";
    speed->SetType("INT", dico->m_Types);
    speed->m_Block = 1;
    speed->m_Offset = 24;
    speed->m_Size = 2;
    dico->AddItem(speed); // the dictionary owns it now

    dico->m_Stamp[0] = 0x1234;
    dico->FinalyzeListOfType();
    dico->Initialize(0, nullptr, 0, "/tmp", 0);

    std::string address;
    dico->FormatPhysicalAddress(1, speed->m_Block, speed->m_Offset, 255, 2, speed->m_TypeCode,
                                address);
    std::printf("provider kind %u, %s, stamp %s, SPEED at %s\n", kind,
                dico->GetDescription().c_str(), dico->GetStampText().c_str(), address.c_str());
    delete dico; // deletes the variable records and types too
    return 0;
}

// A minimal host: load a dictionary by hand, then resolve and browse it with the client helper.
#include <Varbank.h>
#include <VarbankClient.h>

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

    // A resolution owns the record, property list and texts the dictionary hands out.
    const varbank::Resolution found(*dico, "speed");
    if (found.Resolved()) {
        std::printf("provider kind %u, %s, stamp %s, SPEED at %s, block %u offset %u, %s\n", kind,
                    dico->GetDescription().c_str(), dico->GetStampText().c_str(),
                    found.Address().c_str(), found.Record()->Record.wBlock,
                    found.Record()->Record.dwOffset,
                    found.PropertyText(varbank::kPropertyTypeName).c_str());
    }

    // A pager walks the root ten children a page, following the continuation point.
    varbank::BrowseRequest root;
    root.position = u"LINE1";
    root.maximum = 10;
    varbank::BrowsePager pager(*dico, root);
    for (varbank::BrowsePage page; pager.Next(page);) {
        for (const varbank::BrowseChild& child : page.Children()) {
            std::printf("child %s (%s)\n", child.name.c_str(), child.itemId.c_str());
        }
    }
    delete dico; // deletes the variable records and types too
    return 0;
}

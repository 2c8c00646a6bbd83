#include <Varbank.h>
#include <VarbankClient.h>

#include <cstdio>

// An outside host built against the installed package: the public headers and the client
// helper are all it needs.
int main() {
    std::uint32_t kind = 0;
    if (GetSymbType(&kind) != S_OK) {
        return 1;
    }
    CVarbank dico("APP", "/tmp", nullptr);
    auto* item = new CSymbXMLItemDef();
    item->m_Name = "SPEED";
    item->SetType("INT", dico.m_Types);
    item->m_Block = 3;
    item->m_Size = 2;
    dico.AddItem(item);
    const varbank::Resolution speed(dico, "SPEED");
    varbank::BrowseRequest request;
    request.position = u"APP";
    varbank::BrowsePager pager(dico, request);
    std::uint32_t children = 0;
    for (varbank::BrowsePage page; pager.Next(page);) {
        children += page.Count();
    }
    std::printf("kind %u %s resolved %d children %u\n", kind, dico.GetDescription().c_str(),
                speed.Resolved() ? 1 : 0, children);
    return 0;
}

// Any bytes as an array type text handed to the catalogue: the array types it builds are
// looked up, indexed, listed and completed without a crash, a division by zero or a leak.
#include "CSymbXMLDDTArrayDef.h"
#include "DictionaryGenerator.h"
#include "ImplemRecord.h"
#include "PropertyEntry.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CSymbXMLDDTArrayDef direct(text);
    std::int32_t index = 0;
    direct.ValidateIndex("1", index);

    CAppParameters params = generated::Parameters();
    CVarbank dico("FUZZ", "/tmp", &params);
    generated::AddTypes(dico);
    auto* item = new CSymbXMLItemDef();
    item->m_Name = "A";
    item->SetType(text, dico.m_Types);
    item->m_Block = 1;
    item->m_Size = 0xFFFFFFFF;
    dico.AddItem(item);
    dico.FinalyzeListOfType();
    for (const char* name : {"A[0]", "A[1][2]", "A[-1].A", "A[3].P.X.A", "A[2147483647]", "A.3"}) {
        const char* names[] = {name};
        std::string address;
        std::string comment;
        ImplemRecord* record = nullptr;
        PropertyEntry* properties = nullptr;
        std::uint32_t count = 0;
        dico.SearchAndGetFF(1, names, address, comment, &record, &count, &properties);
        std::free(record);
        delete[] properties;
    }
    // A listing costs one step per element; texts of up to 4,096 elements are listed (each listed
    // child yields the processor, so a longer listing on a busy machine outlasts the fuzzer's
    // timeout).
    CSymbXMLDDTDef* type = nullptr;
    dico.m_Types.FindTypeInList(text, type);
    if (type != nullptr && type->IsArray() &&
        static_cast<CSymbXMLDDTArrayDef*>(type)->ElementCount() <= 4096) {
        std::vector<std::string> output;
        dico.BrowseNames("", "A[1", 0, "A", 0, 0, 0, 1, 1, 2, "AC", &output, nullptr);
    }
    return 0;
}

// Any bytes as an array type text handed to the catalogue: the array types it builds are
// looked up, indexed, listed and completed without a crash, a division by zero or a leak.
#include "CSymbXMLDDTArrayDef.h"
#include "DictionaryGenerator.h"
#include "VarbankClient.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    CSymbXMLDDTArrayDef direct(text);
    std::int32_t index = 0;
    direct.ValidateIndex("1", index);

    CAppParameters params = generated::Parameters();
    CVarbank dico("FUZZ", "/tmp", &params);
    generated::AddTypes(dico);
    generated::Variable(dico, "A", text, 1, 0, 0xFFFFFFFF);
    dico.FinalyzeListOfType();
    for (const char* name : {"A[0]", "A[1][2]", "A[-1].A", "A[3].P.X.A", "A[2147483647]", "A.3"}) {
        const varbank::Resolution resolution(dico, name);
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

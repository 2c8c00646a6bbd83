// Any bytes as a client's item name, resolved against a dictionary with structures, arrays,
// two-dimensional arrays and function blocks: a result code, never a crash or a leak, and the
// variables stay as they were.
#include "FixtureDictionary.h"
#include "ImplemRecord.h"
#include "PropertyEntry.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FixtureDictionary fixture;
    CVarbank& dico = *fixture;
    const std::string name(reinterpret_cast<const char*>(data), size);
    const char* names[] = {name.c_str()};
    std::string address;
    std::string comment;
    ImplemRecord* record = nullptr;
    PropertyEntry* properties = nullptr;
    std::uint32_t count = 0;
    const std::size_t items = dico.m_Items.size();
    const HRESULT hr =
        dico.SearchAndGetFF(1, names, address, comment, &record, &count, &properties);
    if (hr != S_OK && hr != -1 && hr != E_INVALIDARG) {
        std::abort();
    }
    if ((hr == S_OK) != (record != nullptr) || (hr == S_OK && count != 6 && count != 7)) {
        std::abort();
    }
    std::free(record);
    delete[] properties;
    if (dico.m_Items.size() != items) {
        std::abort();
    }
    return 0;
}

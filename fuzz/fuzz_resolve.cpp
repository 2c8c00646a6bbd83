// Any bytes as a client's item name, resolved against a dictionary with structures, arrays,
// two-dimensional arrays and function blocks: a result code, never a crash or a leak, and the
// variables stay as they were.
#include "FixtureDictionary.h"
#include "VarbankClient.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FixtureDictionary fixture;
    const std::size_t items = fixture->m_Items.size();
    const varbank::Resolution resolution(*fixture,
                                         std::string(reinterpret_cast<const char*>(data), size));
    const HRESULT hr = resolution.Status();
    if (hr != S_OK && hr != -1 && hr != E_INVALIDARG) {
        std::abort();
    }
    const std::uint32_t count = resolution.PropertyCount();
    if ((hr == S_OK) != resolution.Resolved() || (hr == S_OK && count != 6 && count != 7)) {
        std::abort();
    }
    if (fixture->m_Items.size() != items) {
        std::abort();
    }
    return 0;
}

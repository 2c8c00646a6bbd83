// Browse requests drawn from the input: path, pattern, filter, column codes and continuation
// point as NUL-separated texts after a header of flags, variant type and maximum. The column
// codes reach the name browse only.
#include "FixtureDictionary.h"
#include "VarbankClient.h"

#include <cstdlib>
#include <cstring>

namespace {

struct Request {
    std::uint8_t flags = 0;
    std::uint8_t columnCount = 0;
    std::uint16_t varType = 0;
    std::uint8_t maximum = 0;
    std::string texts[5]; // path, pattern, filter, columns, continuation
};

Request Parse(const std::uint8_t* data, std::size_t size) {
    Request r;
    if (size >= 5) {
        r.flags = data[0];
        r.columnCount = data[1];
        std::memcpy(&r.varType, data + 2, 2);
        r.maximum = data[4];
        data += 5;
        size -= 5;
    }
    std::size_t field = 0;
    for (std::size_t i = 0; i < size && field < 5; ++i) {
        if (data[i] == 0) {
            ++field;
        } else {
            r.texts[field] += static_cast<char>(data[i]);
        }
    }
    return r;
}

// The element browse from the input's continuation point, then every page of the walk.
void Elements(CVarbank& dico, const Request& r) {
    varbank::BrowseRequest request;
    request.path = r.texts[0];
    request.pattern = r.texts[1];
    request.filter = r.texts[2];
    request.varType = r.varType;
    request.branchesOnly = r.flags & 1;
    request.leaves = r.flags & 2;
    request.branches = r.flags & 4;
    request.position = u"FUZZ";
    request.maximum = r.maximum % 16;
    const varbank::BrowsePage page(dico, request, Utf8ToUtf16(r.texts[4]));
    if (request.maximum != 0 && page.Count() > request.maximum) {
        std::abort();
    }
    varbank::BrowsePager pager(dico, request);
    for (varbank::BrowsePage next; pager.Next(next);) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FixtureDictionary fixture;
    const Request r = Parse(data, size);
    std::vector<std::string> output;
    const HRESULT hr = fixture->BrowseNames(
        r.texts[2].c_str(), r.texts[1].c_str(), r.varType, r.texts[0].c_str(), 0, 0, r.flags & 1,
        r.flags & 2, r.flags & 4, r.columnCount % 8, r.texts[3].c_str(), &output, nullptr);
    if (hr != S_OK && hr != E_INVALIDARG) {
        std::abort();
    }
    Elements(*fixture, r);
    return 0;
}

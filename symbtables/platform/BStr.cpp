#include "Varbank/BStr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr std::size_t kPrefixBytes = sizeof(std::uint32_t);

std::uint32_t* PrefixOf(BSTR text) {
    return reinterpret_cast<std::uint32_t*>(reinterpret_cast<char*>(text) - kPrefixBytes);
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length) {
    // The byte length must fit the 32-bit prefix.
    if (length > (std::numeric_limits<std::uint32_t>::max() - 8) / sizeof(OLECHAR)) {
        return nullptr;
    }
    const std::size_t bytes = static_cast<std::size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(kPrefixBytes + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    const auto byteLength = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteLength, kPrefixBytes);
    auto* chars = reinterpret_cast<BSTR>(block + kPrefixBytes);
    if (text != nullptr && length > 0) {
        std::memcpy(chars, text, bytes);
    } else if (length > 0) {
        std::memset(chars, 0, bytes);
    }
    chars[length] = u'\0';
    return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (text == nullptr) {
        return nullptr;
    }
    std::uint32_t length = 0;
    while (text[length] != u'\0') {
        ++length;
    }
    return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(PrefixOf(text));
    }
}

std::uint32_t SysStringLen(BSTR text) {
    if (text == nullptr) {
        return 0;
    }
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, PrefixOf(text), kPrefixBytes);
    return bytes / sizeof(OLECHAR);
}

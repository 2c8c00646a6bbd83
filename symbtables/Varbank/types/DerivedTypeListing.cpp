#include "types/DerivedTypeListing.h"

#include "platform/TextUtil.h"

#include <algorithm>
#include <thread>

std::string ListedEntry(const std::string& name, std::int32_t columnCount,
                        const std::string& columnCodes, const std::string& addressColumn,
                        const std::string* comment) {
    std::string entry = name;
    const std::size_t count =
        columnCount <= 0 ? 0 : std::min(static_cast<std::size_t>(columnCount), columnCodes.size());
    for (std::size_t i = 0; i < count; ++i) {
        entry += '|';
        if (columnCodes[i] == 'A') {
            entry += addressColumn;
        } else if (columnCodes[i] == 'C' && comment != nullptr) {
            entry += *comment;
        }
    }
    return entry;
}

std::string AddressColumnText(const std::string& typeName, std::uint16_t block,
                              std::uint32_t offset, const std::string& addressText) {
    return UnitText(typeName, block, offset).append(addressText);
}

void YieldListing() {
    std::this_thread::yield();
}

#include "Item.h"

#include <string>

namespace {

std::uint32_t Number(const nlohmann::json& result, const char* key) {
    return result.value(key, std::uint32_t{0});
}

std::string Text(const nlohmann::json& result, const char* key) {
    return result.value(key, std::string());
}

} // namespace

Item Item::FromJson(const nlohmann::json& result) {
    Item item;
    item.name = Text(result, "name");
    item.resolved = result.value("resolved", false);
    item.reason = Text(result, "reason");
    if (!item.resolved) {
        return item;
    }
    item.address = Text(result, "address");
    item.block = Number(result, "block");
    item.offset = Number(result, "offset");
    item.size = Number(result, "size");
    if (result.contains("bit") && !result["bit"].is_null()) {
        item.bit = result["bit"].get<std::uint32_t>();
    }
    item.typeName = Text(result, "typeName");
    item.typeCode = static_cast<std::uint32_t>(std::stoul(Text(result, "typeCode"), nullptr, 16));
    item.kind = Text(result, "kind");
    item.info = Text(result, "info");
    item.comment = Text(result, "comment");
    item.accessKind = Number(result, "accessKind");
    item.areaKind = Number(result, "areaKind");
    item.subOffset = Number(result, "subOffset");
    item.subSize = Number(result, "subSize");
    item.elementIndex = Number(result, "elementIndex");
    item.stampSum = Number(result, "stampSum");
    item.attribute = Number(result, "attribute");
    return item;
}

#include "Item.h"

#include <utility>

Item Item::From(ResolveCommand::Result result) {
    Item item;
    item.name = std::move(result.name);
    item.resolved = result.resolved;
    item.reason = std::move(result.reason);
    if (!item.resolved) {
        return item;
    }
    const tagRATVARPHYSICALIMPLEM& record = result.record.Record;
    item.address = std::move(result.address);
    item.block = record.wBlock;
    item.offset = record.dwOffset;
    item.size = record.dwSize;
    if (record.byBit != 255) {
        item.bit = record.byBit;
    }
    item.typeName = std::move(result.typeName).value_or("");
    item.typeCode = record.dwTypeCode;
    item.kind = std::move(result.kind).value_or("");
    item.info = std::move(result.info).value_or("");
    item.comment = std::move(result.comment);
    item.accessKind = record.dwAccessKind;
    item.areaKind = record.dwAreaKind;
    item.subOffset = record.dwSubOffset;
    item.subSize = record.wSubSize;
    item.elementIndex = record.dwElementIndex;
    item.stampSum = record.dwStampSum;
    item.attribute = result.record.dwAttribute;
    return item;
}

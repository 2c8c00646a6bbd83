#include "Varbank/PropertyEntry.h"

PropertyEntry::PropertyEntry() {
    VariantInit(&vValue);
}

PropertyEntry::~PropertyEntry() {
    dwPropertyId = 0;
    VariantClear(&vValue);
}

#include "Varbank/Variant.h"

#include "Varbank/TextConversion.h"

#include <new>

void VariantInit(VARIANT* value) {
    if (value == nullptr) {
        return;
    }
    value->vt = VT_EMPTY;
    value->wReserved1 = value->wReserved2 = value->wReserved3 = 0;
    value->dblVal = 0;
}

std::int32_t VariantClear(VARIANT* value) {
    if (value == nullptr) {
        return 0;
    }
    if (value->vt == VT_BSTR) {
        SysFreeString(value->bstrVal);
    }
    VariantInit(value);
    return 0;
}

void VariantSetInt32(VARIANT& value, std::int32_t number) {
    if (value.vt != VT_EMPTY) {
        VariantClear(&value);
    }
    value.vt = VT_I4;
    value.lVal = number;
}

void VariantSetText(VARIANT& value, const std::string& text) {
    BSTR wide = NarrowToBstr(text);
    if (wide == nullptr) {
        throw std::bad_alloc();
    }
    if (value.vt != VT_EMPTY) {
        VariantClear(&value);
    }
    value.vt = VT_BSTR;
    value.bstrVal = wide;
}

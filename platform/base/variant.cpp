#include "platform/base/variant.h"

#include "platform/base/bstr.h"
#include "platform/base/hresult.h"
#include "platform/base/interfaces.h"

void VariantInit(VARIANT* pvarg) {
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
    pvarg->ullVal = 0;
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (pvarg == nullptr)
        return E_INVALIDARG;
    switch (pvarg->vt) {
        case VT_BSTR:
            SysFreeString(pvarg->bstrVal);
            break;
        case VT_UNKNOWN:
        case VT_DISPATCH:
            if (pvarg->punkVal != nullptr)
                pvarg->punkVal->Release();
            break;
        default:
            break;
    }
    VariantInit(pvarg);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
    if (dest == nullptr || src == nullptr)
        return E_INVALIDARG;
    if (dest == src)
        return S_OK;
    VARIANT copy = *src;
    if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
        if (copy.bstrVal == nullptr)
            return E_OUTOFMEMORY;
    } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal != nullptr) {
        src->punkVal->AddRef();
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

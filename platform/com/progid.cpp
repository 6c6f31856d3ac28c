#include "platform/com/progid.h"

#include "platform/com/hresult.h"

// No registry exists yet on this platform, so no class is registered.
HRESULT ProgIDFromCLSID(REFCLSID, LPOLESTR* lplpszProgID) {
    if (lplpszProgID == nullptr) return E_INVALIDARG;
    *lplpszProgID = nullptr;
    return REGDB_E_CLASSNOTREG;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (lpszProgID == nullptr || lpclsid == nullptr) return E_INVALIDARG;
    *lpclsid = GUID_NULL;
    return CO_E_CLASSSTRING;
}

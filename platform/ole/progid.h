#pragma once
// ProgID <-> CLSID through the registry's HKEY_CLASSES_ROOT view.
#include "platform/base/guid.h"

// The versioned ProgID of the class (CLSID\{clsid}\ProgID), in task memory the caller frees
// with CoTaskMemFree; REGDB_E_CLASSNOTREG when the class is not registered.
HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
// The CLSID that ProgID\CLSID names; CO_E_CLASSSTRING when the ProgID is unknown.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);

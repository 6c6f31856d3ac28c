#pragma once
// OLE Automation strings. Layout as on Windows: a 4-byte prefix holding the length in bytes,
// the UTF-16 code units, then a terminating zero unit. The BSTR points at the first unit, so
// SysStringLen is O(1) and embedded zeros are kept. A null BSTR is the empty string.
#include "platform/base/types.h"

BSTR SysAllocString(const OLECHAR* psz);
// Copies `ui` units from `pch`, or leaves them zeroed when `pch` is null.
BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui);
UINT SysStringLen(BSTR bstr);
UINT SysStringByteLen(BSTR bstr);
void SysFreeString(BSTR bstr);

// Task memory, as handed out by ProgIDFromCLSID and friends.
void* CoTaskMemAlloc(std::size_t cb);
void CoTaskMemFree(void* pv);

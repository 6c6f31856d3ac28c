#pragma once
// The type information of kivLib's types (IPrime2, IGoldbachPair, the class Prime), from the
// registered library: each kept once loaded; a failed load is tried again at the next need,
// since the library may be registered meanwhile.
#include "platform/win32.h"

HRESULT KivTypeInfo(REFGUID guid, ITypeInfo** ppTInfo);

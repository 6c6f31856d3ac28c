#pragma once
// The Windows names the system is written against, on Windows: the SDK's own headers, plus
// the few portable pieces mingw-w64 has no header for (ATL's CComPtr). Included through
// platform/win32.h only.
#ifndef NOMINMAX
#define NOMINMAX  // std::min / std::max stay functions
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h must come first.
#include <comdef.h>
#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>
#include <shlwapi.h>
#include <userenv.h>

#include "platform/base/com_ptr.h"

// oleaut32 exports the per-user type library registration (Windows Vista on), but mingw-w64's
// oleauto.h does not declare it.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* ptlib, OLECHAR* szFullPath, OLECHAR* szHelpDir);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum,
                                      LCID lcid, SYSKIND syskind);
}

// RPC's headers name the type `small`, and windows.h maps a few Win32 functions whose names
// the system also uses for its own (RegisterClass) to their A/W forms.
#undef RegisterClass
#undef small

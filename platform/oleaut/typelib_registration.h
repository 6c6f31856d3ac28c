#pragma once
// Registration of type libraries, with the entries OLE Automation writes (below the machine's
// HKLM\Software\Classes, or HKCU\Software\Classes for the ...ForUser forms; versions and
// locales in lower-case hexadecimal, as OLE writes them):
//   TypeLib\{LIBID}\<maj>.<min>              default: the library's help string, else its name
//   TypeLib\{LIBID}\<maj>.<min>\FLAGS        default: the library flags in decimal ("0")
//   TypeLib\{LIBID}\<maj>.<min>\HELPDIR      default: the help directory, "" when none
//   TypeLib\{LIBID}\<maj>.<min>\<lcid>\win64 default: the library's path (win32 for SYS_WIN32)
// and for each dual or oleautomation interface, which the type library marshaller carries,
// and each dispinterface:
//   Interface\{IID}                          default: the interface's name
//   Interface\{IID}\ProxyStubClsid32         default: {00020424-0000-0000-C000-000000000046}
//                                            (PSOAInterface); for a pure dispinterface
//                                            {00020420-0000-0000-C000-000000000046} (PSDispatch)
//   Interface\{IID}\ProxyStubClsid           the same
//   Interface\{IID}\TypeLib                  default: {LIBID}; value Version: "<maj>.<min>"
// Registry failures give TYPE_E_REGISTRYACCESS.
#include "platform/oleaut/oleauto.h"

HRESULT RegisterTypeLib(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);
HRESULT RegisterTypeLibForUser(ITypeLib* ptlib, LPCOLESTR szFullPath, LPCOLESTR szHelpDir);

// Removes the <lcid>\<syskind> entry and the Interface keys that name this library and
// version, then the version key when no other locale or platform remains under it, then the
// TypeLib\{LIBID} key when no other version remains. TYPE_E_REGISTRYACCESS when the library is
// not registered for that version, locale and platform, as on Windows.
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid,
                          SYSKIND syskind);
HRESULT UnRegisterTypeLibForUser(REFGUID libID, WORD wMajorVerNum, WORD wMinorVerNum, LCID lcid,
                                 SYSKIND syskind);

// Looks the library up in HKEY_CLASSES_ROOT (per-user entries over the machine's): the exact
// version, else the same major version with the greatest higher minor; the locale, else its
// primary language, else neutral; win64, else win32. TYPE_E_LIBNOTREGISTERED when nothing
// matches; otherwise what LoadTypeLib gives for the registered path. A handful of registry
// reads and one file read: cheap enough for once per process.
HRESULT LoadRegTypeLib(REFGUID rguid, WORD wVerMajor, WORD wVerMinor, LCID lcid, ITypeLib** pptlib);
// The registered path that LoadRegTypeLib would load.
HRESULT QueryPathOfRegTypeLib(REFGUID guid, USHORT wMaj, USHORT wMin, LCID lcid,
                              BSTR* lpbstrPathName);

#pragma once
// Activation: the client's way to an object of a class served by a local server process.
#include "platform/ole/class_registration.h"

// Connects to the class's server (starting it when none runs) and creates one object, asking
// for `riid`. Only CLSCTX_LOCAL_SERVER is served. REGDB_E_CLASSNOTREG for a class without
// LocalServer32, CO_E_SERVER_EXEC_FAILURE when its server cannot be started, and the class
// object's own HRESULT otherwise (CLASS_E_NOAGGREGATION for an outer object, E_NOINTERFACE).
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         LPVOID* ppv);
// The class object of the class, through the same connection rules.
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                         LPVOID* ppv);
// Objects of local servers are running once activated.
HRESULT OleRun(IUnknown* pUnknown);

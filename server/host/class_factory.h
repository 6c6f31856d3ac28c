#pragma once
// The class object of Prime: one per process, registered while the server serves.
#include "platform/win32.h"

class CPrimeClassFactory final : public IClassFactory {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    // The class object lives as long as the process and holds no server reference.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT LockServer(BOOL fLock) override;
};

CPrimeClassFactory& PrimeClassObject();

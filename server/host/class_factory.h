#pragma once
// The class object of Prime: one per process, registered while the server serves.
#include <atomic>

#include "platform/win32.h"

class CPrimeClassFactory final : public IClassFactory {
  public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    // The class object lives as long as the process and holds no server reference; its count
    // only tells the module whether anybody still holds it.
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override { return --m_cRef; }
    ULONG References() const { return m_cRef.load(); }
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT LockServer(BOOL fLock) override;

  private:
    std::atomic<ULONG> m_cRef{0};
};

CPrimeClassFactory& PrimeClassObject();

#include "server/host/class_factory.h"

#include "server/host/kiv_module.h"
#include "server/host/prime.h"

CPrimeClassFactory& PrimeClassObject() {
    static CPrimeClassFactory factory;
    return factory;
}

HRESULT CPrimeClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT CPrimeClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr)
        return CLASS_E_NOAGGREGATION;
    return CPrime::CreateInstance(riid, ppv);
}

HRESULT CPrimeClassFactory::LockServer(BOOL fLock) {
    if (fLock)
        Module().Lock();
    else
        Module().Unlock();
    return S_OK;
}

#pragma once
// The class objects this process registered, by cookie, and whether activations from other
// processes are served. Used by the registering apartment's thread; the lock guards against
// suspension from a thread that releases the last server reference.
#include <atomic>
#include <map>
#include <mutex>

#include "platform/base/com_ptr.h"
#include "platform/ole/class_endpoint.h"

namespace comrt {

class ClassTable {
  public:
    // Registers `factory` for `clsid` and, with `publish`, publishes it.
    HRESULT add(REFCLSID clsid, CComPtr<IClassFactory> factory, bool publish, DWORD& cookie);
    // Publishes every class not published and serves activations again.
    HRESULT resume();
    // Refuses every activation from now on and withdraws every class.
    void suspend();
    // Withdraws and forgets one class; E_INVALIDARG for an unknown cookie.
    HRESULT revoke(DWORD cookie);
    // The published class object of `clsid`; null, with the reason, when there is none or
    // activations are suspended.
    IClassFactory* find(REFCLSID clsid, HRESULT& why_not);

  private:
    struct Entry {
        CLSID clsid;
        CComPtr<IClassFactory> factory;
        ClassEndpoint endpoint;
    };

    std::mutex lock_;
    std::map<DWORD, Entry> entries_;
    DWORD next_cookie_ = 1;
    std::atomic<bool> suspended_{false};
};

}  // namespace comrt

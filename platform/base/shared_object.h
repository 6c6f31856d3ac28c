#pragma once
// The reference count of the runtime's own COM objects (error information, type libraries
// and type information). Such objects are handed between threads, so the count is atomic; an
// object starts with the one reference its creator hands out, and the last Release destroys
// it.
#include <atomic>
#include <memory>

#include "platform/base/interfaces.h"

namespace comrt {

template <class Derived>
class SharedObject {
  protected:
    ULONG add_ref() noexcept { return ++refs_; }
    ULONG release() noexcept {
        ULONG left = --refs_;
        if (left == 0)
            std::unique_ptr<Derived>(static_cast<Derived*>(this)).reset();
        return left;
    }
    // QueryInterface of an object that answers IUnknown and `Itf` only.
    template <class Itf>
    HRESULT query_single(Itf* self, REFIID riid, void** ppv) noexcept {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != uuidof<Itf>()) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = self;
        add_ref();
        return S_OK;
    }

  private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace comrt

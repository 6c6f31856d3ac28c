#pragma once
// CComPtr: owns one reference to a COM interface. It is ATL's, which neither mingw-w64 nor the
// SDK's plain headers have, so the Windows build uses this one too.
#include <cstddef>
#include <utility>

#ifdef _WIN32
#include <objbase.h>

// An interface's IID: its own `iid` member (the system's interfaces name theirs) or the SDK's
// __uuidof, under the name the runtime's interfaces.h gives it.
template <class T>
const IID& uuidof() {
    if constexpr (requires { T::iid; })
        return T::iid;
    else
        return __uuidof(T);
}
#else
#include "platform/base/interfaces.h"
#endif

template <class T>
class CComPtr {
  public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
    // Adds a reference, as ATL's CComPtr does; use Attach to adopt one.
    CComPtr(T* p) noexcept : p_(p) {
        if (p_ != nullptr)
            p_->AddRef();
    }
    CComPtr(const CComPtr& other) noexcept : CComPtr(other.p_) {}
    CComPtr(CComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    CComPtr& operator=(CComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~CComPtr() { Release(); }

    T* operator->() const noexcept { return p_; }
    operator T*() const noexcept { return p_; }
    T* get() const noexcept { return p_; }
    // The address for an out-parameter; the pointer must be empty.
    T** operator&() noexcept { return &p_; }

    void Attach(T* p) noexcept {
        Release();
        p_ = p;
    }
    T* Detach() noexcept { return std::exchange(p_, nullptr); }
    void Release() noexcept {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    HRESULT CopyTo(T** out) const noexcept {
        if (out == nullptr)
            return E_POINTER;
        *out = p_;
        if (p_ != nullptr)
            p_->AddRef();
        return S_OK;
    }
    template <class Q>
    HRESULT QueryInterface(Q** out) const noexcept {
        return p_->QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(out));
    }

  private:
    T* p_ = nullptr;
};

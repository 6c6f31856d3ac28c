#pragma once
// CComPtr: ATL's smart interface pointer. ATL is neither in mingw-w64 nor in the SDK's plain
// headers, so the Windows build carries this one, the same as the runtime's.
#include <objbase.h>

#include <cstddef>
#include <utility>

namespace comrt_windows {
// An interface's IID: its own `iid` member (the system's interfaces name theirs) or the SDK's
// __uuidof.
template <class T>
const IID& iid_of() {
    if constexpr (requires { T::iid; })
        return T::iid;
    else
        return __uuidof(T);
}
}  // namespace comrt_windows

template <class T>
class CComPtr {
  public:
    CComPtr() noexcept = default;
    CComPtr(std::nullptr_t) noexcept {}
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
        return p_->QueryInterface(comrt_windows::iid_of<Q>(), reinterpret_cast<void**>(out));
    }

  private:
    T* p_ = nullptr;
};

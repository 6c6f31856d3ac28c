#pragma once
// give_new: a new object handed out through an out-parameter, as COM's creating calls do.
#include <memory>
#include <new>
#include <utility>

#include "platform/base/hresult.h"

namespace comrt {

// *out becomes a new T made from `args`, the caller's from then on (a reference count's, or
// the matching Release*'s); null when memory runs out. E_INVALIDARG for a null out.
template <class T, class Out, class... Args>
HRESULT give_new(Out** out, Args&&... args) {
    if (out == nullptr)
        return E_INVALIDARG;
    try {
        *out = std::make_unique<T>(std::forward<Args>(args)...).release();
        return S_OK;
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

}  // namespace comrt

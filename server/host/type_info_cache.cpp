#include "server/host/type_info_cache.h"

#include <mutex>
#include <utility>
#include <vector>

#include "server/interface/iprime.h"

namespace {

struct Cached {
    GUID guid;
    CComPtr<ITypeInfo> info;
};

}  // namespace

HRESULT KivTypeInfo(REFGUID guid, ITypeInfo** ppTInfo) {
    // A pair object may be used from another apartment than the one that made it.
    static std::mutex s_lock;
    static std::vector<Cached> s_cache;
    if (ppTInfo == nullptr)
        return E_POINTER;
    *ppTInfo = nullptr;
    std::lock_guard<std::mutex> hold(s_lock);
    for (const Cached& cached : s_cache)
        if (cached.guid == guid)
            return cached.info.CopyTo(ppTInfo);
    CComPtr<ITypeLib> library;
    CComPtr<ITypeInfo> info;
    HRESULT hr = LoadRegTypeLib(LIBID_kivLib, 1, 0, LOCALE_NEUTRAL, &library);
    if (SUCCEEDED(hr))
        hr = library->GetTypeInfoOfGuid(guid, &info);
    if (FAILED(hr))
        return hr;
    try {
        s_cache.push_back(Cached{guid, info});
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return info.CopyTo(ppTInfo);
}

#include "platform/ole/class_table.h"

namespace comrt {

HRESULT ClassTable::add(REFCLSID clsid, CComPtr<IClassFactory> factory, bool publish,
                        DWORD& cookie) {
    std::lock_guard guard(lock_);
    DWORD id = next_cookie_++;
    Entry& entry = entries_[id];
    entry.clsid = clsid;
    entry.factory = std::move(factory);
    if (publish) {
        HRESULT hr = entry.endpoint.publish(clsid);
        if (FAILED(hr)) {
            entries_.erase(id);
            return hr;
        }
    }
    cookie = id;
    return S_OK;
}

HRESULT ClassTable::resume() {
    std::lock_guard guard(lock_);
    for (auto& [cookie, entry] : entries_) {
        HRESULT hr = entry.endpoint.publish(entry.clsid);
        if (FAILED(hr))
            return hr;
    }
    suspended_ = false;
    return S_OK;
}

void ClassTable::suspend() {
    suspended_ = true;  // from here on every activation is refused
    std::lock_guard guard(lock_);
    for (auto& [cookie, entry] : entries_)
        entry.endpoint.withdraw();
}

HRESULT ClassTable::revoke(DWORD cookie) {
    std::lock_guard guard(lock_);
    auto it = entries_.find(cookie);
    if (it == entries_.end())
        return E_INVALIDARG;
    it->second.endpoint.withdraw();
    entries_.erase(it);
    return S_OK;
}

IClassFactory* ClassTable::find(REFCLSID clsid, HRESULT& why_not) {
    if (suspended_.load()) {
        why_not = CO_E_SERVER_STOPPING;
        return nullptr;
    }
    std::lock_guard guard(lock_);
    for (auto& [cookie, entry] : entries_)
        if (entry.clsid == clsid && entry.endpoint.published())
            return entry.factory.get();
    why_not = REGDB_E_CLASSNOTREG;
    return nullptr;
}

}  // namespace comrt

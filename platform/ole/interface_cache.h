#pragma once
// What the runtime derives from an interface's description (its wire description, its proxy
// vtable), made once per interface and kept for the life of the process. Made under the
// cache's lock, so two threads never make the same one.
#include <map>
#include <memory>
#include <mutex>

#include "platform/base/guid.h"
#include "platform/base/hresult.h"

namespace comrt {

template <class T>
class InterfaceCache {
  public:
    // The entry of `iid`, made by `make(std::shared_ptr<const T>&)` when there is none yet.
    // Whatever `make` returns other than S_OK is returned, and nothing is kept.
    template <class Make>
    HRESULT get(REFIID iid, std::shared_ptr<const T>& out, Make&& make) {
        std::lock_guard guard(lock_);
        auto it = entries_.find(iid);
        if (it == entries_.end()) {
            std::shared_ptr<const T> made;
            HRESULT hr = make(made);
            if (hr != S_OK)
                return hr;
            it = entries_.emplace(iid, std::move(made)).first;
        }
        out = it->second;
        return S_OK;
    }

  private:
    std::mutex lock_;
    std::map<IID, std::shared_ptr<const T>> entries_;
};

}  // namespace comrt

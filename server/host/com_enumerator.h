#pragma once
// ComEnumerator: the standard enumerator (Next, Skip, Reset, Clone) over a fixed list taken
// when it was made, so that changes to what it lists (a sink advised or unadvised meanwhile)
// never disturb a client walking it. Clones share the list and start where their original
// stands. `owner`, when given, is kept alive as long as any enumerator of the list: the
// connection points it hands out are members of it.
#include <atomic>
#include <memory>
#include <vector>

#include "platform/win32.h"

// What an enumerator holds of one item, and how it hands a copy of it out (with a reference).
struct HeldConnection {
    CComPtr<IUnknown> sink;
    DWORD cookie = 0;
};

inline void CopyOut(const HeldConnection& held, CONNECTDATA* out) {
    out->pUnk = held.sink;
    out->pUnk->AddRef();
    out->dwCookie = held.cookie;
}

inline void CopyOut(const CComPtr<IConnectionPoint>& held, IConnectionPoint** out) {
    *out = held;
    (*out)->AddRef();
}

template <class Enum, class Item, class Held>
class ComEnumerator final : public Enum {
  public:
    using List = std::shared_ptr<const std::vector<Held>>;

    // A new enumerator with one reference in *out, at `position` of `list`.
    static HRESULT Create(const IID& iid, List list, CComPtr<IUnknown> owner, Enum** out,
                          std::size_t position = 0) noexcept {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        std::unique_ptr<ComEnumerator> made;
        try {
            made = std::make_unique<ComEnumerator>();
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        made->m_iid = iid;
        made->m_list = std::move(list);
        made->m_owner = std::move(owner);
        made->m_position = position;
        made->m_cRef = 1;
        *out = made.release();  // owned by its reference count from here on
        return S_OK;
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr)
            return E_POINTER;
        if (riid != IID_IUnknown && riid != m_iid) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        *ppv = static_cast<Enum*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_cRef; }
    ULONG Release() override {
        const ULONG left = --m_cRef;
        if (left == 0)
            std::unique_ptr<ComEnumerator>{this}.reset();
        return left;
    }

    HRESULT Next(ULONG count, Item* items, ULONG* fetched) override {
        if (items == nullptr || (fetched == nullptr && count != 1))
            return E_POINTER;
        ULONG given = 0;
        while (given < count && m_position < m_list->size())
            CopyOut((*m_list)[m_position++], &items[given++]);
        if (fetched != nullptr)
            *fetched = given;
        return given == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override {
        const std::size_t left = m_list->size() - m_position;
        m_position += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT Reset() override {
        m_position = 0;
        return S_OK;
    }
    HRESULT Clone(Enum** out) override { return Create(m_iid, m_list, m_owner, out, m_position); }

    ComEnumerator() = default;  // made by Create only: its reference count starts there

  private:
    ~ComEnumerator() = default;
    friend struct std::default_delete<ComEnumerator>;

    std::atomic<ULONG> m_cRef{0};
    IID m_iid{};
    List m_list;
    CComPtr<IUnknown> m_owner;
    std::size_t m_position = 0;
};

using ConnectionEnumerator = ComEnumerator<IEnumConnections, CONNECTDATA, HeldConnection>;
using ConnectionPointEnumerator =
    ComEnumerator<IEnumConnectionPoints, IConnectionPoint*, CComPtr<IConnectionPoint>>;

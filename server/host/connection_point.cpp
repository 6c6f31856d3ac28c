#include "server/host/connection_point.h"

#include <algorithm>
#include <memory>

#include "server/host/com_enumerator.h"

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid != IID_IUnknown && riid != IID_IConnectionPoint) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (pIID == nullptr)
        return E_POINTER;
    *pIID = m_iid;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (ppCPC == nullptr)
        return E_POINTER;
    *ppCPC = &m_container;
    m_container.AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (pdwCookie == nullptr)
        return E_POINTER;
    *pdwCookie = 0;
    if (pUnkSink == nullptr)
        return E_POINTER;
    CComPtr<IDispatch> sink;
    if (FAILED(pUnkSink->QueryInterface(m_iid, reinterpret_cast<void**>(&sink))) &&
        FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink))))
        return CONNECT_E_CANNOTCONNECT;
    try {
        Connection& added = m_connections.emplace_back();
        added.sink = sink;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    if (++m_lastCookie == 0)  // 0 is never a cookie
        ++m_lastCookie;
    m_connections.back().cookie = m_lastCookie;
    *pdwCookie = m_lastCookie;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    const auto found =
        std::find_if(m_connections.begin(), m_connections.end(),
                     [dwCookie](const Connection& c) { return c.cookie == dwCookie; });
    if (found == m_connections.end())
        return CONNECT_E_NOCONNECTION;
    // The sink's last reference here may run its owner's code: release it after the erase.
    CComPtr<IDispatch> leaving = std::move(found->sink);
    m_connections.erase(found);
    return S_OK;
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (ppEnum == nullptr)
        return E_POINTER;
    *ppEnum = nullptr;
    std::shared_ptr<std::vector<HeldConnection>> list;
    try {
        list = std::make_shared<std::vector<HeldConnection>>();
        for (const Connection& connection : m_connections) {
            HeldConnection& held = list->emplace_back();
            held.sink = CComPtr<IUnknown>(static_cast<IDispatch*>(connection.sink));
            held.cookie = connection.cookie;
        }
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    return ConnectionEnumerator::Create(IID_IEnumConnections, std::move(list), nullptr, ppEnum);
}

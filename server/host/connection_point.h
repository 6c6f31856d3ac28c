#pragma once
// ConnectionPoint: one outgoing interface of a connectable object, as Windows defines it:
// Advise takes a sink (queried for the outgoing interface, else IDispatch: every sink of a
// dispinterface is called through IDispatch::Invoke) and gives a cookie, Unadvise drops it,
// EnumConnections lists the sinks. It is a member of its container: its references are the
// container's, so the container, its point and the point's list of sinks hold no cycle (only
// the sinks are held, and they belong to the clients).
#include <vector>

#include "platform/win32.h"

class ConnectionPoint final : public IConnectionPoint {
  public:
    struct Connection {
        DWORD cookie = 0;
        CComPtr<IDispatch> sink;
    };

    ConnectionPoint(IConnectionPointContainer& container, const IID& iid) noexcept
        : m_container(container), m_iid(iid) {}
    ~ConnectionPoint() = default;
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    const IID& Iid() const noexcept { return m_iid; }
    // The sinks advised now, each with a reference: whoever calls them walks this copy, so a
    // handler may advise or unadvise meanwhile.
    std::vector<Connection> Connections() const { return m_connections; }

    // IUnknown: the container's reference count.
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return m_container.AddRef(); }
    ULONG Release() override { return m_container.Release(); }

    // IConnectionPoint
    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(IEnumConnections** ppEnum) override;

  private:
    IConnectionPointContainer& m_container;
    IID m_iid;
    std::vector<Connection> m_connections;
    DWORD m_lastCookie = 0;
};

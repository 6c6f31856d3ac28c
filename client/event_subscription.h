#pragma once
// A sink advised to one connection point of an object, unadvised when this goes. An object
// without that connection point (an older server) leaves it unconnected, and the client goes on
// without events.
#include "server/interface/iprime.h"

class EventSubscription {
  public:
    EventSubscription(IUnknown* source, REFIID events, IUnknown* sink);
    ~EventSubscription();
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;

    bool Connected() const { return m_cookie != 0; }

  private:
    void Subscribe(IUnknown* source, REFIID events, IUnknown* sink);

    CComPtr<IConnectionPoint> m_point;
    DWORD m_cookie = 0;
};

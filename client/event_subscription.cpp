#include "client/event_subscription.h"

EventSubscription::EventSubscription(IUnknown* source, REFIID events, IUnknown* sink) {
    if (source == nullptr)
        return;
    Subscribe(source, events, sink);
    // A refusal is no error of the session: its error information must not outlive it.
    if (m_cookie == 0)
        SetErrorInfo(0, nullptr);
}

void EventSubscription::Subscribe(IUnknown* source, REFIID events, IUnknown* sink) {
    CComPtr<IConnectionPointContainer> container;
    if (FAILED(source->QueryInterface(IID_IConnectionPointContainer,
                                      reinterpret_cast<void**>(&container))) ||
        container == nullptr)
        return;
    CComPtr<IConnectionPoint> point;
    if (FAILED(container->FindConnectionPoint(events, &point)) || point == nullptr)
        return;
    DWORD cookie = 0;
    if (FAILED(point->Advise(sink, &cookie)) || cookie == 0)
        return;
    m_point = point;
    m_cookie = cookie;
}

EventSubscription::~EventSubscription() {
    if (m_cookie != 0)
        m_point->Unadvise(m_cookie);
}

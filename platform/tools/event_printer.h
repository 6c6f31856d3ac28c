#pragma once
// comrt call --events: a sink of an object's default source interface that prints each event
// on standard error as it arrives, one line: event Progress("Goldbach pair search", 0.5, False).
#include <string>

#include "platform/win32.h"

namespace comrt_tool {

// Subscribes a printing sink to the default source interface of `object`'s class (the
// coclass's [default, source] in the type library that describes the object) for as long as
// it lives.
class EventSubscription {
  public:
    EventSubscription() = default;
    ~EventSubscription();
    EventSubscription(const EventSubscription&) = delete;
    EventSubscription& operator=(const EventSubscription&) = delete;

    // S_OK, or why the object's events cannot be had (`problem` says it in words).
    HRESULT subscribe(IDispatch& object, const CLSID& clsid, std::string& problem);

  private:
    CComPtr<IConnectionPoint> point_;
    CComPtr<IDispatch> sink_;
    DWORD cookie_ = 0;
};

}  // namespace comrt_tool

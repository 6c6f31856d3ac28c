#include "server/host/prime_call.h"

#include <algorithm>
#include <string>

#include "platform/comrt_extensions.h"

#include "server/interface/iprime.h"
#include "server/interface/narrow_text.h"

namespace {

constexpr DISPID kDispidProgress = 1;

VARIANTARG Bstr(_bstr_t& text) {
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = text.GetBSTR();
    return arg;
}

VARIANTARG Double(double value) {
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_R8;
    arg.dblVal = value;
    return arg;
}

// Progress(bstrActivity, bstrUnit, dDone, dExpected, dElapsedSeconds, bstrCurrent, pbCancel)
// on one sink; the arguments go right to left, as IDispatch::Invoke takes them.
HRESULT FireProgress(IDispatch* sink, const ProgressReading& reading, VARIANT_BOOL& cancel) {
    _bstr_t activity = WideText(reading.activity);
    _bstr_t unit = WideText(reading.unit);
    _bstr_t current = WideText(reading.current);
    VARIANTARG args[7];
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_BOOL;
    args[0].byref = &cancel;
    args[1] = Bstr(current);
    args[2] = Double(reading.elapsedSeconds);
    args[3] = Double(reading.expected);
    args[4] = Double(reading.done);
    args[5] = Bstr(unit);
    args[6] = Bstr(activity);
    DISPPARAMS params{};
    params.rgvarg = args;
    params.cArgs = 7;
    return sink->Invoke(kDispidProgress, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                        nullptr, nullptr, nullptr);
}

}  // namespace

PrimeCall::PrimeCall(const ConnectionPoint& events)
    : m_events(events), m_callerGone(comrt::current_call_stop_token(), RequestStop{m_stop}) {}

void PrimeCall::OnProgress(const ProgressReading& reading) {
    for (const ConnectionPoint::Connection& connection : m_events.Connections()) {
        if (std::find(m_dropped.begin(), m_dropped.end(), connection.cookie) != m_dropped.end())
            continue;
        VARIANT_BOOL cancel = VARIANT_FALSE;
        if (FAILED(FireProgress(connection.sink, reading, cancel))) {
            m_dropped.push_back(connection.cookie);
            continue;
        }
        if (cancel != VARIANT_FALSE) {
            m_cancelledByEvent = true;
            m_stop.request_stop();
            return;  // the call ends: the others need not hear of a step it will not take
        }
    }
}

// CPrime::IsPrime: the frame around the engine's primality tests.
#include "server/host/prime.h"
#include "server/host/prime_call.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"
#include "server/interface/narrow_text.h"

HRESULT CPrime::IsPrime(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                        LONG* pbRet) {
    if (pbRet == nullptr)
        return E_POINTER;
    *pbRet = 0;
    if (m_bTesting)  // re-entered from a handler of the running test's Progress event
        return ReportError(kivmsg::BusyWithIsPrime);
    // The body ends early, with RPC_E_CALL_CANCELED, when the caller goes away meanwhile, and
    // with E_ABORT when a handler of Progress cancels it.
    m_bTesting = true;
    const HRESULT hr = PrimeCall(m_events).Run([&](const std::stop_token& stop) {
        if (bstrPrimeNum == nullptr)
            throw ServiceError(kivmsg::InvalidParameters);
        *pbRet = IsPrimeBody(NarrowText(bstrPrimeNum), lPrimalityTestingMethod, lNumTrials, stop);
        return S_OK;
    });
    m_bTesting = false;
    return hr;
}

// CPrime::IsPrime: the frame around the engine's primality tests.
#include "server/host/prime.h"

#include "server/interface/method_frame.h"

HRESULT CPrime::IsPrime(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                        LONG* pbRet) {
    if (pbRet == nullptr)
        return E_POINTER;
    *pbRet = 0;
    // The body ends early, with RPC_E_CALL_CANCELED, when the caller goes away meanwhile.
    return MethodFrame([&] {
        return IsPrimeBody(bstrPrimeNum, lPrimalityTestingMethod, lNumTrials, pbRet,
                           comrt::current_call_stop_token());
    });
}

// CPrime::IsPrime: the frame around the engine's primality tests.
#include "server/host/prime.h"

#include "server/interface/method_frame.h"

HRESULT CPrime::IsPrime(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                        LONG* pbRet) {
    if (pbRet == nullptr)
        return E_POINTER;
    *pbRet = 0;
    return MethodFrame(
        [&] { return IsPrimeBody(bstrPrimeNum, lPrimalityTestingMethod, lNumTrials, pbRet); });
}

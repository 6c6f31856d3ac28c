// CPrime::IsPrime: the frame around the engine's primality tests.
#include "server/host/prime.h"
#include "platform/comrt_extensions.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"
#include "server/interface/narrow_text.h"

HRESULT CPrime::IsPrime(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                        LONG* pbRet) {
    if (pbRet == nullptr)
        return E_POINTER;
    *pbRet = 0;
    // The body ends early, with RPC_E_CALL_CANCELED, when the caller goes away meanwhile.
    return MethodFrame([&] {
        if (bstrPrimeNum == nullptr)
            throw ServiceError(kivmsg::InvalidParameters);
        *pbRet = IsPrimeBody(NarrowText(bstrPrimeNum), lPrimalityTestingMethod, lNumTrials,
                             comrt::current_call_stop_token());
        return S_OK;
    });
}

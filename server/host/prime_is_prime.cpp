// CPrime::IsPrime: the frame around the engine's primality tests.
#include "server/host/prime.h"

#include "server/interface/method_frame.h"

HRESULT CPrime::IsPrime(BSTR, LONG, LONG, LONG* pbRet) {
    if (pbRet == nullptr) return E_POINTER;
    *pbRet = 0;
    return E_NOTIMPL;
}

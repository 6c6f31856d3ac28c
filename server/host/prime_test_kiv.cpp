// CPrime::TestKIV: the frame around a randomised test run.
#include "server/host/prime.h"

#include "server/interface/method_frame.h"

HRESULT CPrime::TestKIV(ULONGLONG, LONG, BSTR*, LONG* pbRet, ULONG) {
    if (pbRet == nullptr) return E_POINTER;
    *pbRet = 0;
    return E_NOTIMPL;
}

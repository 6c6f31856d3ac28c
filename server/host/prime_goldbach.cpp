// CPrime::GetGBPairUsingRM and GetSysInfo: the frames around the pair search and the report.
#include "server/host/prime.h"

#include "server/interface/method_frame.h"

HRESULT CPrime::GetGBPairUsingRM(BSTR, LONG, BSTR*, BSTR*, LONG* pbRet, ULONG) {
    if (pbRet == nullptr) return E_POINTER;
    *pbRet = 0;
    return E_NOTIMPL;
}

HRESULT CPrime::GetSysInfo(BSTR* pbstrSysInfo) {
    if (pbstrSysInfo == nullptr) return E_POINTER;
    return E_NOTIMPL;
}

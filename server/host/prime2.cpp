// CPrime's IPrime2 members: IPrime's bodies, with their checks, error texts and trace lines,
// and the results as return values.
#include "server/host/goldbach_pair.h"
#include "server/host/prime.h"

HRESULT CPrime::IsPrimeNumber(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                              VARIANT_BOOL* pbIsPrime) {
    if (pbIsPrime == nullptr)
        return E_POINTER;
    *pbIsPrime = VARIANT_FALSE;
    LONG bRet = 0;
    const HRESULT hr = IsPrime(bstrPrimeNum, lPrimalityTestingMethod, lNumTrials, &bRet);
    if (SUCCEEDED(hr))
        *pbIsPrime = bRet != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

HRESULT CPrime::FindGoldbachPair(BSTR bstrEvenNum, LONG lNumTrials, ULONG numThreadsPerCore,
                                 IGoldbachPair** ppPair) {
    if (ppPair == nullptr)
        return E_POINTER;
    *ppPair = nullptr;
    _bstr_t first, second;
    LONG bFound = 0;
    const HRESULT hr = GetGBPairUsingRM(bstrEvenNum, lNumTrials, first.GetAddress(),
                                        second.GetAddress(), &bFound, numThreadsPerCore);
    if (FAILED(hr))
        return hr;
    return CGoldbachPair::Create(bFound != 0, first.GetBSTR(), second.GetBSTR(), ppPair);
}

HRESULT CPrime::get_SysInfo(BSTR* pbstrSysInfo) {
    return GetSysInfo(pbstrSysInfo);
}

HRESULT CPrime::RunTest(ULONGLONG numDigits, VARIANT_BOOL bWriteResultsToFile,
                        ULONG numThreadsPerCore, BSTR* pbstrStatus) {
    LONG bFound = 0;
    return TestKIV(numDigits, bWriteResultsToFile != VARIANT_FALSE ? 1 : 0, pbstrStatus, &bFound,
                   numThreadsPerCore);
}

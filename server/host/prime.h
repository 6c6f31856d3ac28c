#pragma once
// CPrime: the Prime object. Lives in the server's single-threaded apartment, so its
// reference count is a plain integer and its state needs no locks.
#include "server/engine/prime_engine.h"
#include "server/interface/iprime.h"

class CPrime final : public IPrime, public ISupportErrorInfo, private PrimeEngine {
  public:
    // A new object with one reference, queried for `riid`.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) override;

    // IPrime
    HRESULT IsPrime(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                    LONG* pbRet) override;
    HRESULT IsInt64Prime(ULONGLONG ulPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                         LONG* pbRet) override;
    HRESULT GetGBPairUsingRM(BSTR bstrEvenNum, LONG lNumTrials, BSTR* pbstrFirst, BSTR* pbstrSecond,
                             LONG* pbRet, ULONG numThreadsPerCore) override;
    HRESULT TestKIV(ULONGLONG numDigits, LONG bWriteResultsToFile, BSTR* pbstrStatus, LONG* pbRet,
                    ULONG numThreadsPerCore) override;
    HRESULT GetSysInfo(BSTR* pbstrSysInfo) override;

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    CPrime() = default;
    ~CPrime();
    CPrime(const CPrime&) = delete;
    CPrime& operator=(const CPrime&) = delete;

  private:
    ULONG m_cRef = 0;
    bool m_bHoldsServerReference = false;
};

#pragma once
// CPrime: the Prime object. Lives in the server's single-threaded apartment, so its
// reference count is a plain integer and its state needs no locks. IPrime2 (which is IPrime
// and more) is its default interface, also for IDispatch; it is a connectable object with one
// outgoing interface, _IPrimeEvents, whose Progress its long calls fire (PrimeCall).
#include "server/engine/prime_engine.h"
#include "server/host/connection_point.h"
#include "server/host/type_info_dispatch.h"
#include "server/interface/iprime.h"

class CPrime final : public CTypeInfoDispatch<IPrime2, IID_IPrime2>,
                     public ISupportErrorInfo,
                     public IConnectionPointContainer,
                     public IProvideClassInfo2,
                     private PrimeEngine {
  public:
    // A new object with one reference, queried for `riid`.
    static HRESULT CreateInstance(REFIID riid, void** ppv);

    // IUnknown
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch, from IPrime2's type information: a superset of IPrime whose members keep
    // their DISPIDs, so late-bound callers of IPrime are served as before.
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

    // IPrime2: the IPrime bodies, results as return values
    HRESULT IsPrimeNumber(BSTR bstrPrimeNum, LONG lPrimalityTestingMethod, LONG lNumTrials,
                          VARIANT_BOOL* pbIsPrime) override;
    HRESULT FindGoldbachPair(BSTR bstrEvenNum, LONG lNumTrials, ULONG numThreadsPerCore,
                             IGoldbachPair** ppPair) override;
    HRESULT get_SysInfo(BSTR* pbstrSysInfo) override;
    HRESULT RunTest(ULONGLONG numDigits, VARIANT_BOOL bWriteResultsToFile, ULONG numThreadsPerCore,
                    BSTR* pbstrStatus) override;

    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    // IConnectionPointContainer: the one point, for _IPrimeEvents
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IProvideClassInfo2: the class Prime and its default source, for scripting hosts
    HRESULT GetClassInfo(ITypeInfo** ppTI) override;
    HRESULT GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

    CPrime() noexcept;
    ~CPrime();
    CPrime(const CPrime&) = delete;
    CPrime& operator=(const CPrime&) = delete;

  private:
    ULONG m_cRef = 0;
    bool m_bHoldsServerReference = false;
    // A primality test runs: it reads and fills the engine's caches, so a handler of its
    // Progress event may not start another on this object meanwhile. Every other call of a
    // handler touches nothing a running call uses and is served.
    bool m_bTesting = false;
    ConnectionPoint m_events;
};

// CPrime::GetGBPairUsingRM and GetSysInfo: the frames around the pair search and the report.
#include <string>

#include "server/engine/decimal_input.h"
#include "server/engine/decimal_value.h"
#include "server/goldbach/goldbach_search.h"
#include "server/host/prime.h"
#include "server/host/prime_call.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"
#include "server/interface/narrow_text.h"
#include "server/interface/trace_log.h"
#include "server/sysinfo/system_info.h"

HRESULT CPrime::GetGBPairUsingRM(BSTR bstrEvenNum, LONG lNumTrials, BSTR* pbstrFirst,
                                 BSTR* pbstrSecond, LONG* pbRet, ULONG numThreadsPerCore) {
    if (pbRet == nullptr)
        return E_POINTER;
    *pbRet = 0;
    if (bstrEvenNum == nullptr || pbstrFirst == nullptr || pbstrSecond == nullptr)
        return E_POINTER;
    if (lNumTrials < 0)
        return ReportError(kivmsg::NumTrials);
    if (numThreadsPerCore < 2 || numThreadsPerCore > 2147483647)
        return ReportError(kivmsg::ThreadsPerCore);

    return PrimeCall(m_events).Run([&](const std::stop_token& stop) -> HRESULT {
        // Only the value is kept: the narrowed text (as long as the number has digits) goes
        // before the search starts.
        const NTL::ZZ n = ParseEvenNumber(NarrowText(bstrEvenNum), stop).value;
        if (n == 4) {  // 2 + 2, the one pair with an even member
            _bstr_t first(OLESTR("2")), second(OLESTR("2"));
            *pbstrFirst = first.Detach();
            *pbstrSecond = second.Detach();
            *pbRet = 1;
            return S_OK;
        }

        TraceLog("kiv: Calculating...\n");
        std::basic_string<OLECHAR> unusedReport;
        ULONG numCores = 0;
        BuildSystemInfo(unusedReport, numCores, true);
        // The search ends early, with RPC_E_CALL_CANCELED, when the caller goes away meanwhile,
        // and with E_ABORT when a handler of Progress cancels it.
        std::optional<GoldbachPair> pair =
            ::FindGoldbachPair(n, lNumTrials, numThreadsPerCore, numCores, 0, stop);
        if (!pair)
            return S_OK;

        // Both texts are made before either is handed out, so a failure leaves no BSTR
        // behind in the caller's out-parameters.
        TraceLog("kiv: Extracting P1...\n");
        std::string text = DecimalText(pair->first);
        TraceLog("kiv: SysAllocString P1...\n");
        _bstr_t first = WideText(text);
        TraceLog("kiv: Extracting P2...\n");
        text = DecimalText(pair->second);
        TraceLog("kiv: SysAllocString P2...\n");
        _bstr_t second = WideText(text);
        *pbstrFirst = first.Detach();
        *pbstrSecond = second.Detach();
        *pbRet = 1;
        TraceLog("kiv: Success.\n");
        TraceLog("kiv: Cleaning up...\n");
        return S_OK;
    });
}

HRESULT CPrime::GetSysInfo(BSTR* pbstrSysInfo) {
    if (pbstrSysInfo == nullptr)
        return E_POINTER;
    HRESULT hres = S_OK;
    try {
        std::basic_string<OLECHAR> sysInfo;
        ULONG numCores = 0;
        hres = BuildSystemInfo(sysInfo, numCores, false);
        _bstr_t report(SysAllocStringLen(sysInfo.data(), static_cast<UINT>(sysInfo.size())),
                       false);  // non-null even when empty
        *pbstrSysInfo = report.Detach();
    } catch (...) {
        // The report's contract: no error information, the status reached so far.
    }
    return hres;
}

// CPrime::TestKIV: the frame around a randomised test run.
#include <string>

#include "server/goldbach/test_run.h"
#include "server/host/prime.h"
#include "server/host/prime_call.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"
#include "server/interface/narrow_text.h"
#include "server/interface/trace_log.h"

HRESULT CPrime::TestKIV(ULONGLONG numDigits, LONG bWriteResultsToFile, BSTR* pbstrStatus,
                        LONG* pbRet, ULONG numThreadsPerCore) {
    if (pbRet == nullptr)
        return E_POINTER;
    if (numThreadsPerCore - 2u > 2147483645u)  // below 2 wraps round and is refused too
        return ReportError(kivmsg::ThreadsPerCore);
    *pbRet = 0;
    if (pbstrStatus == nullptr)
        return E_POINTER;

    return PrimeCall(m_events).Run([&](const std::stop_token& stop) -> HRESULT {
        TestRunRequest request;
        request.numDigits = numDigits;
        request.numThreadsPerCore = numThreadsPerCore;
        request.writeResultsFile = bWriteResultsToFile != 0;
        request.stop = stop;  // the run ends when its caller goes, or a handler cancels it
        // The run sets `found` as soon as a pair is known: the caller sees it even when a later
        // step fails.
        std::int32_t found = 0;
        TestRunOutcome outcome;
        try {
            outcome = RunGoldbachTest(request, found);
        } catch (...) {
            *pbRet = found;
            throw;
        }
        *pbRet = found;
        _bstr_t status = WideText(outcome.statusText);
        *pbstrStatus = status.Detach();
        TraceLog("kiv: Cleaning up...\n");
        return S_OK;
    });
}

// CPrime::TestKIV: the frame around a randomised test run.
#include <string>

#include "server/goldbach/test_run.h"
#include "server/host/prime.h"
#include "server/host/prime_call.h"
#include "server/interface/messages.h"
#include "server/interface/method_frame.h"
#include "server/interface/trace_log.h"

namespace {

// The text is ASCII but for a results path, which is UTF-8 on this system: decoded as such,
// ASCII keeps one code unit per byte. Anything else is widened byte by byte.
_bstr_t StatusBstr(const std::string& text) {
    std::basic_string<OLECHAR> wide(text.size(), OLESTR('\0'));  // never more units than bytes
    const int units = text.empty() ? 0
                                   : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                                         static_cast<int>(text.size()), wide.data(),
                                                         static_cast<int>(wide.size()));
    if (units > 0)
        wide.resize(static_cast<std::size_t>(units));
    else
        wide.assign(text.begin(), text.end());
    return _bstr_t(SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size())), false);
}

}  // namespace

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
        _bstr_t status = StatusBstr(outcome.statusText);
        *pbstrStatus = status.Detach();
        TraceLog("kiv: Cleaning up...\n");
        return S_OK;
    });
}

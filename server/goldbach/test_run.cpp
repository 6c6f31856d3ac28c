#include "server/goldbach/test_run.h"

#include <random>

#include "server/engine/decimal_value.h"
#include "server/goldbach/exec_time.h"
#include "server/goldbach/goldbach_search.h"
#include "server/goldbach/q_draw.h"
#include "server/goldbach/results_file.h"
#include "server/interface/messages.h"
#include "server/interface/service_error.h"
#include "server/interface/trace_log.h"
#include "server/sysinfo/system_info.h"

TestRunOutcome RunGoldbachTest(const TestRunRequest& request, std::int32_t& found) {
    if (request.numDigits - 1 > 2147483646)  // 0 wraps round and is refused too
        throw ServiceError(kivmsg::DigitSize);

    std::mt19937 engine(request.seed ? *request.seed
                                     : static_cast<std::uint32_t>(MonotonicNanoseconds()));
    TestRunOutcome outcome;
    TestRunRecord& record = outcome.record;
    record.numDigits = request.numDigits;
    record.numThreadsPerCore = request.numThreadsPerCore;
    // Q's decimal text is the drawn text itself (no leading zero), so it is kept for the
    // report instead of being converted back from the ZZ: one copy of a text that can be
    // two gigabytes, and no second conversion.
    record.qText = DrawQText(request.numDigits, engine, request.stop);

    TraceLog("kiv: begin NTL::to_ZZ()...\n");
    const NTL::ZZ q = DecimalValue(record.qText, request.stop);  // cancellable between its steps
    TraceLog("kiv: end NTL::to_ZZ()...\n");

    ULONG numCores = 0;
    BuildSystemInfo(record.sysInfo, numCores, false);  // its status is not needed

    const std::int64_t start = MonotonicNanoseconds();
    if (q == 4) {
        record.p1 = 2;
        record.p2 = 2;
        found = record.found = 1;
    } else {
        TraceLog("kiv: Calculating...\n");
        std::optional<GoldbachPair> pair = FindGoldbachPair(
            q, 0, request.numThreadsPerCore, numCores, request.poolThreads, request.stop);
        if (pair) {
            record.p1 = pair->first;
            record.p2 = pair->second;
            found = record.found = 1;
            TraceLog("kiv: Success.\n");
        }
    }
    record.execTime = FormatExecTime(MonotonicNanoseconds() - start);

    record.qLength = record.qText.size();
    record.statusWord = record.found == 1 ? kivmsg::StatusSuccess : kivmsg::StatusConjectureFalse;
    outcome.statusText = "Digits: " + std::to_string(record.qLength) + "\n" + record.statusWord;
    if (request.writeResultsFile)
        WriteResultsFile(record, outcome.statusText);
    return outcome;
}

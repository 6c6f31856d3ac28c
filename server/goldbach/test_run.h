#pragma once
// The randomised Goldbach test run behind TestKIV: draw an even number Q with the asked
// number of digits, find its pair with the batched search (no random trials), time the
// search and report. Keeps nothing between runs.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include "server/goldbach/test_run_record.h"

struct TestRunRequest {
    std::uint64_t numDigits = 0;
    std::uint32_t numThreadsPerCore = 130;
    bool writeResultsFile = false;
    std::optional<std::uint32_t> seed;  // unset: the low 32 bits of the monotonic clock
    std::size_t poolThreads = 0;        // 0: the machine's logical processors
    std::stop_token stop;               // the call's; fired when its caller has gone
};

struct TestRunOutcome {
    TestRunRecord record;
    std::string statusText;  // "Digits: <D>\n<status word>", and the results-file sentence
};

// Raises ServiceError(kivmsg::DigitSize) for numDigits 0 or above 2147483647. `found` gets 1
// as soon as a pair is known, so that it holds 1 even when a later step fails. Raises
// CallCancelled when `request.stop` fires during the draw, around the conversion or in the
// search.
TestRunOutcome RunGoldbachTest(const TestRunRequest& request, std::int32_t& found);

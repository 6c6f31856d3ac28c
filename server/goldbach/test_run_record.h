#pragma once
// TestRunRecord: a finished test run, as the results file records it.
#include <NTL/ZZ.h>

#include <cstdint>
#include <string>

#include "platform/win32.h"  // OLECHAR

struct TestRunRecord {
    std::uint64_t numDigits = 0;  // as the caller asked
    std::uint32_t numThreadsPerCore = 0;
    std::int32_t found = 0;     // 1 when a pair was found
    std::string qText;          // Q in decimal
    std::uint64_t qLength = 0;  // digits of qText
    NTL::ZZ p1, p2;             // the pair, when found
    std::string statusWord;
    std::string execTime;                // "0d 0h 0m 1s 250ms"
    std::basic_string<OLECHAR> sysInfo;  // the system information report, possibly empty
};

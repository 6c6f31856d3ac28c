#pragma once
// TestRunRecord: a finished test run, as the results file records it.
#include <NTL/ZZ.h>

#include <string>

#include "platform/win32.h"

struct TestRunRecord {
    ULONGLONG numDigits = 0;  // as the caller asked
    ULONG numThreadsPerCore = 0;
    LONG found = 0;         // 1 when a pair was found
    std::string qText;      // Q in decimal
    ULONGLONG qLength = 0;  // digits of qText
    NTL::ZZ p1, p2;         // the pair, when found
    std::string statusWord;
    std::string execTime;    // "0d 0h 0m 1s 250ms"
    std::u16string sysInfo;  // the system information report, possibly empty
};

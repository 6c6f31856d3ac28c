#pragma once
// BuildSystemInfo: the plain-text report of the machine's processor packages and memory, and
// the processor-core count that sizes the Goldbach search.
#include <string>

#include "platform/win32.h"
#include "server/sysinfo/system_facts.h"

// Full mode (coresOnly false): the report, one line per processor package and then the four
// memory lines; numCores is the core count of the last package that has one. Returns the
// status of the last enumeration step, S_FALSE after a normal run.
// Cores-only mode: stops at the first package with a core count and returns S_OK with an
// empty report; without any count the run goes on as in full mode, names left out.
// A failed processor query returns its failure with an empty report and numCores 0. Never
// throws: a failure while building empties the report and returns the status so far.
HRESULT BuildSystemInfo(std::basic_string<OLECHAR>& sysInfo, ULONG& numCores,
                        bool coresOnly) noexcept;
HRESULT BuildSystemInfo(std::basic_string<OLECHAR>& sysInfo, ULONG& numCores, bool coresOnly,
                        SystemFacts& facts) noexcept;

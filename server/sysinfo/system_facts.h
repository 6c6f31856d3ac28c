#pragma once
// SystemFacts: where the system information report gets the machine's processor records and
// memory status. The report reads the running machine; tests hand it recorded facts.
#include <vector>

#include "platform/comrt_extensions.h"
#include "platform/win32.h"

class SystemFacts {
  public:
    virtual ~SystemFacts() = default;
    // The processor query: S_OK with one record per package, or the query's failure.
    virtual HRESULT QueryProcessors(std::vector<comrt::ProcessorRecord>& records) = 0;
    // The memory status, as GlobalMemoryStatusEx fills it (its result is not relied on).
    virtual void ReadMemoryStatus(MEMORYSTATUSEX& status) = 0;
};

// The facts of the running machine. Stateless, so one instance serves every thread.
SystemFacts& MachineFacts();

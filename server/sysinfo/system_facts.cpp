#include "server/sysinfo/system_facts.h"

namespace {

class CMachineFacts final : public SystemFacts {
  public:
    HRESULT QueryProcessors(std::vector<comrt::ProcessorRecord>& records) override {
        return comrt::QueryProcessorRecords(records);
    }
    void ReadMemoryStatus(MEMORYSTATUSEX& status) override {
        status = {};
        status.dwLength = sizeof(MEMORYSTATUSEX);
        GlobalMemoryStatusEx(&status);
    }
};

}  // namespace

SystemFacts& MachineFacts() {
    static CMachineFacts facts;
    return facts;
}

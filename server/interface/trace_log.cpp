#include "server/interface/trace_log.h"

#include "platform/win32.h"

void TraceLog(const char* line) noexcept {
    OutputDebugStringA(line);
}

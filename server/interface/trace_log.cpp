#include "server/interface/trace_log.h"

#include <sstream>

#include "platform/win32.h"

void TraceLog(const char* line) noexcept {
    OutputDebugStringA(line);
}

void TraceLogNumber(const char* text, const NTL::ZZ& value) {
    std::ostringstream line;
    line << text << value << '\n';
    OutputDebugStringA(line.str().c_str());
}

#include "platform/os/last_error.h"

namespace {
thread_local DWORD t_last_error = 0;
}

DWORD GetLastError() {
    return t_last_error;
}
void SetLastError(DWORD dwErrCode) {
    t_last_error = dwErrCode;
}

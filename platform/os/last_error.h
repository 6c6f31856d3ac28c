#pragma once
// The calling thread's last-error code, as Win32 functions leave it.
#include "platform/base/types.h"

DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

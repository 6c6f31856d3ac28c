#pragma once
// Error information: one object per thread, set by a failing method and taken by its caller.
#include "platform/base/interfaces.h"

HRESULT CreateErrorInfo(ICreateErrorInfo** pperrinfo);
// Replaces the calling thread's error information (null clears it); `dwReserved` must be 0.
HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
// Hands the thread's error information to the caller and clears it; S_FALSE when there is none.
HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

#include <string>

namespace comrt {
// Reports a failure of the runtime itself: error information with source "comrt" and
// `description` (UTF-8) for the calling thread.
void set_error_description(const std::string& description);
}  // namespace comrt

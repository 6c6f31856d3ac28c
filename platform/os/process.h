#pragma once
// Threads and the running module: the Win32 calls the system makes about itself.
#include <string>

#include "platform/base/types.h"

// The kernel's id of the calling thread.
DWORD GetCurrentThreadId();

using HMODULE = void*;
// The full path of the running executable (hModule must be null). Returns the length copied
// without the terminator; when the buffer is too small the path is truncated, terminated, and
// GetLastError() is ERROR_INSUFFICIENT_BUFFER, as on Windows.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
// The same path in UTF-16 (file names are UTF-8 here), counted in code units.
DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);

namespace comrt {
std::string executable_path();
}

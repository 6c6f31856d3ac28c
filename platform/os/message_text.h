#pragma once
// The system message table: the platform's text for an HRESULT or a Win32 error code, in the
// words Windows uses, each ending with CR LF as the Windows table has them.
#include <cstdarg>

#include "platform/base/types.h"

inline constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
inline constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
inline constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
inline constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
inline constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
inline constexpr DWORD FORMAT_MESSAGE_ARGUMENT_ARRAY = 0x00002000;
inline constexpr DWORD ERROR_RESOURCE_LANG_NOT_FOUND = 1815;

// Only FORMAT_MESSAGE_FROM_SYSTEM is served, in the default language (0, LANG_NEUTRAL with
// SUBLANG_DEFAULT, or US English); the table's texts carry no inserts. Returns the number of
// characters written without the terminator, or 0 with GetLastError() telling why.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

using HLOCAL = void*;
HLOCAL LocalAlloc(UINT uFlags, std::size_t uBytes);
HLOCAL LocalFree(HLOCAL hMem);  // null on success

#pragma once
// Handles to the calling process and to its access token. A token records the user that the
// process runs as (its effective user id) when the token is opened; the user's profile is
// looked up through it (user_profile.h).
#include <optional>

#include <sys/types.h>

#include "platform/base/types.h"

using HANDLE = void*;
using PHANDLE = HANDLE*;

inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

inline constexpr DWORD TOKEN_QUERY = 0x0008;

// The pseudo handle of the calling process; it needs no closing.
HANDLE GetCurrentProcess();

// Opens the token of ProcessHandle, which must be GetCurrentProcess(). FALSE with
// ERROR_INVALID_HANDLE for any other handle, ERROR_INVALID_PARAMETER for a null TokenHandle.
BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);

// Closes a token; the process pseudo handle is accepted and left alone. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not open.
BOOL CloseHandle(HANDLE hObject);

namespace comrt {
// The user id recorded in an open token, or nullopt when the handle is not an open token.
std::optional<uid_t> token_user(HANDLE token);
}  // namespace comrt

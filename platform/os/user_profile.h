#pragma once
// GetUserProfileDirectoryA: the profile directory of a token's user. On Linux that is the
// home directory: HOME when the token is the calling process's own user and HOME is set,
// otherwise the user's password entry.
#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/base/types.h"
#include "platform/os/process_token.h"

namespace comrt {

// The home directory of `user`: HOME when `user` is the process's effective user and HOME is
// set, otherwise the password entry's; nullopt when it has none.
std::optional<std::string> user_home(uid_t user);

}  // namespace comrt

// Copies the directory with its terminator into lpProfileDir, of *lpcchSize characters, and
// sets *lpcchSize to the length with the terminator. When the buffer is null or too small:
// FALSE, ERROR_INSUFFICIENT_BUFFER and the size needed in *lpcchSize. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not an open token, ERROR_INVALID_PARAMETER for a
// null lpcchSize, ERROR_FILE_NOT_FOUND when the user has no home directory.
BOOL GetUserProfileDirectoryA(HANDLE hToken, LPSTR lpProfileDir, LPDWORD lpcchSize);

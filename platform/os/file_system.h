#pragma once
// The file-system calls of the results file: attributes, directory creation and the path
// helper that drops a file name. Paths are 8-bit (UTF-8 on Linux) and separated by '/'.
#include "platform/base/types.h"

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;

struct SECURITY_ATTRIBUTES;  // only default security (null) is supported
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

// FILE_ATTRIBUTE_DIRECTORY for a directory (symbolic links followed), READONLY for an entry
// nobody may write, NORMAL for any other. INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND,
// ERROR_PATH_NOT_FOUND or ERROR_ACCESS_DENIED when the path cannot be examined.
DWORD GetFileAttributesA(LPCSTR lpFileName);

// Creates one directory with default permissions (0777 less the umask). FALSE with
// ERROR_ALREADY_EXISTS when anything of that name exists, ERROR_PATH_NOT_FOUND when the parent
// is missing or not a directory, ERROR_ACCESS_DENIED, or ERROR_INVALID_PARAMETER for a
// security descriptor or a null path.
BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);

// Removes the last component and the separator before it, in place: "/a/b/kiv" becomes
// "/a/b", "/kiv" becomes "/", "kiv" becomes "" and "/a/b/" becomes "/a/b". TRUE when
// something was removed.
BOOL PathRemoveFileSpecA(LPSTR pszPath);

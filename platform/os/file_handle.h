#pragma once
// Files through handles, as Win32 has them: create a new file, write, flush, close, move it to
// a name that no file has, delete it. Handles are kept in a table (as tokens are), so a stale
// or foreign handle is refused rather than closing someone else's descriptor.
#include "platform/os/file_system.h"
#include "platform/os/process_token.h"

inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;

inline constexpr DWORD FILE_SHARE_READ = 0x1;
inline constexpr DWORD FILE_SHARE_WRITE = 0x2;
inline constexpr DWORD FILE_SHARE_DELETE = 0x4;

inline constexpr DWORD CREATE_NEW = 1;  // fails with ERROR_FILE_EXISTS when the name is taken

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

struct OVERLAPPED;  // only synchronous writes (null) are supported
using LPOVERLAPPED = OVERLAPPED*;

// Only CREATE_NEW with GENERIC_WRITE is supported (ERROR_INVALID_PARAMETER otherwise).
HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
BOOL FlushFileBuffers(HANDLE hFile);
// Without MOVEFILE_REPLACE_EXISTING an existing target is never replaced: the call fails with
// ERROR_ALREADY_EXISTS (renameat2 RENAME_NOREPLACE, or a hard link where the file system lacks
// it). Within one file system only.
BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
BOOL DeleteFileA(LPCSTR lpFileName);

namespace comrt {
// CloseHandle's part for files: false when `handle` is no open file handle.
bool close_file_handle(HANDLE handle, BOOL& closed);
// The next handle value, shared by every kind of handle so that none is ever two things.
HANDLE next_handle_value();
}  // namespace comrt

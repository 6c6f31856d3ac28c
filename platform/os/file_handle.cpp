#include "platform/os/file_handle.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>

#include "platform/base/fd_io.h"
#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {

struct FileTable {
    std::mutex mutex;
    std::map<HANDLE, int> descriptors;
};

FileTable& Files() {
    static FileTable table;
    return table;
}

// The descriptor of an open file handle, or -1 (ERROR_INVALID_HANDLE set).
int DescriptorOf(HANDLE handle) {
    FileTable& table = Files();
    std::lock_guard lock(table.mutex);
    auto it = table.descriptors.find(handle);
    if (it == table.descriptors.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return -1;
    }
    return it->second;
}

DWORD ErrorOf(int error) {
    switch (error) {
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_WRITE_FAULT;
    }
}

BOOL Fail(int error) {
    SetLastError(ErrorOf(error));
    return FALSE;
}

}  // namespace

namespace comrt {

HANDLE next_handle_value() {
    // Multiples of 4 from 4 on, as Windows hands them out, never reused while the process runs.
    static std::atomic<std::uintptr_t> next{4};
    return reinterpret_cast<HANDLE>(next.fetch_add(4));
}

bool close_file_handle(HANDLE handle, BOOL& closed) {
    int fd = -1;
    {
        FileTable& table = Files();
        std::lock_guard lock(table.mutex);
        auto it = table.descriptors.find(handle);
        if (it == table.descriptors.end())
            return false;
        fd = it->second;
        table.descriptors.erase(it);
    }
    closed = ::close(fd) == 0 ? TRUE : Fail(errno);
    return true;
}

}  // namespace comrt

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                   DWORD dwCreationDisposition, DWORD, HANDLE) {
    if (lpFileName == nullptr || dwCreationDisposition != CREATE_NEW ||
        dwDesiredAccess != GENERIC_WRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(lpFileName, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        Fail(errno);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = comrt::next_handle_value();
    FileTable& table = Files();
    std::lock_guard lock(table.mutex);
    table.descriptors.emplace(handle, fd);
    return handle;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = 0;
    if (lpOverlapped != nullptr || (lpBuffer == nullptr && nNumberOfBytesToWrite > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const int fd = DescriptorOf(hFile);
    if (fd < 0)
        return FALSE;
    const ssize_t written =
        comrt::retry_on_eintr([&] { return ::write(fd, lpBuffer, nNumberOfBytesToWrite); });
    if (written < 0)
        return Fail(errno);
    if (lpNumberOfBytesWritten != nullptr)
        *lpNumberOfBytesWritten = static_cast<DWORD>(written);
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE hFile) {
    const int fd = DescriptorOf(hFile);
    if (fd < 0)
        return FALSE;
    return ::fsync(fd) == 0 ? TRUE : Fail(errno);
}

BOOL MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((dwFlags & MOVEFILE_REPLACE_EXISTING) != 0)
        return ::rename(lpExistingFileName, lpNewFileName) == 0 ? TRUE : Fail(errno);
    if (::renameat2(AT_FDCWD, lpExistingFileName, AT_FDCWD, lpNewFileName, RENAME_NOREPLACE) == 0)
        return TRUE;
    if (errno != EINVAL && errno != ENOSYS) {
        if (errno == EEXIST)
            SetLastError(ERROR_ALREADY_EXISTS);
        else
            Fail(errno);
        return FALSE;
    }
    // No RENAME_NOREPLACE on this file system: a hard link never replaces either.
    if (::link(lpExistingFileName, lpNewFileName) != 0) {
        if (errno == EEXIST)
            SetLastError(ERROR_ALREADY_EXISTS);
        else
            Fail(errno);
        return FALSE;
    }
    ::unlink(lpExistingFileName);
    return TRUE;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    if (lpFileName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ::unlink(lpFileName) == 0 ? TRUE : Fail(errno);
}

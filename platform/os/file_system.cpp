#include "platform/os/file_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {

DWORD PathError(int error) {
    switch (error) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_ALREADY_EXISTS;
        case ENOSPC:
            return ERROR_DISK_FULL;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

}  // namespace

DWORD GetFileAttributesA(LPCSTR lpFileName) {
    if (lpFileName == nullptr || *lpFileName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat status {};
    if (stat(lpFileName, &status) != 0) {
        SetLastError(PathError(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
}

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    if (lpPathName == nullptr || lpSecurityAttributes != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (mkdir(lpPathName, 0777) != 0) {
        const int error = errno;
        SetLastError(error == ENOENT ? ERROR_PATH_NOT_FOUND : PathError(error));
        return FALSE;
    }
    return TRUE;
}

BOOL PathRemoveFileSpecA(LPSTR pszPath) {
    if (pszPath == nullptr)
        return FALSE;
    const std::size_t length = std::strlen(pszPath);
    if (length == 0 || (length == 1 && pszPath[0] == '/'))
        return FALSE;
    char* separator = std::strrchr(pszPath, '/');
    if (separator == nullptr) {
        pszPath[0] = '\0';  // a bare file name
        return TRUE;
    }
    if (separator == pszPath) {
        pszPath[1] = '\0';  // keep the root
        return TRUE;
    }
    *separator = '\0';
    return TRUE;
}

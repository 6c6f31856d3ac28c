#include "platform/os/process.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/base/hresult.h"
#include "platform/base/utf8_text.h"
#include "platform/os/last_error.h"

DWORD GetCurrentThreadId() {
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

namespace comrt {

std::string executable_path() {
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

}  // namespace comrt

namespace {

// GetModuleFileName's contract for either character width.
template <class Unit>
DWORD CopyModulePath(HMODULE hModule, const std::basic_string<Unit>& path, Unit* lpFilename,
                     DWORD nSize) {
    if (hModule != nullptr || lpFilename == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() >= nSize) {
        std::copy_n(path.data(), nSize - 1, lpFilename);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::copy_n(path.c_str(), path.size() + 1, lpFilename);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    return CopyModulePath(hModule, comrt::executable_path(), lpFilename, nSize);
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    return CopyModulePath(hModule, comrt::utf8_to_utf16(comrt::executable_path()), lpFilename,
                          nSize);
}

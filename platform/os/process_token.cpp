#include "platform/os/process_token.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/base/hresult.h"
#include "platform/os/file_handle.h"
#include "platform/os/last_error.h"

namespace {

// Open tokens by handle value (comrt::next_handle_value: never reused while the process runs,
// so a stale handle is refused).
struct TokenTable {
    std::mutex mutex;
    std::map<std::uintptr_t, uid_t> users;
};

TokenTable& Tokens() {
    static TokenTable table;
    return table;
}

}  // namespace

HANDLE GetCurrentProcess() {
    return INVALID_HANDLE_VALUE;
}  // (HANDLE)-1, as on Windows

BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
    if (ProcessHandle != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (TokenHandle == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    HANDLE handle = comrt::next_handle_value();
    table.users.emplace(reinterpret_cast<std::uintptr_t>(handle), geteuid());
    *TokenHandle = handle;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentProcess())
        return TRUE;
    if (BOOL closed = FALSE; comrt::close_file_handle(hObject, closed))
        return closed;
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    if (table.users.erase(reinterpret_cast<std::uintptr_t>(hObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace comrt {

std::optional<uid_t> token_user(HANDLE token) {
    TokenTable& table = Tokens();
    std::lock_guard lock(table.mutex);
    auto found = table.users.find(reinterpret_cast<std::uintptr_t>(token));
    if (found == table.users.end())
        return std::nullopt;
    return found->second;
}

}  // namespace comrt

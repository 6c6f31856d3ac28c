#include "platform/os/process_token.h"

#include <unistd.h>

#include <map>
#include <mutex>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {

// Open tokens by handle value. Values are multiples of 4 from 4 on, as Windows hands them
// out, and never reused while the process runs, so a stale handle is refused.
struct TokenTable {
    std::mutex mutex;
    std::map<std::uintptr_t, uid_t> users;
    std::uintptr_t next = 4;
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
    const std::uintptr_t value = table.next;
    table.users.emplace(value, geteuid());
    table.next += 4;
    *TokenHandle = reinterpret_cast<HANDLE>(value);
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == GetCurrentProcess())
        return TRUE;
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

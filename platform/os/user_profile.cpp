#include "platform/os/user_profile.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/hresult.h"
#include "platform/os/last_error.h"

namespace {

std::optional<std::string> PasswordHome(uid_t user) {
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 1024);
    for (;;) {
        passwd entry{};
        passwd* result = nullptr;
        int error = getpwuid_r(user, &entry, buffer.data(), buffer.size(), &result);
        if (error == ERANGE && buffer.size() < (std::size_t{1} << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || result == nullptr || entry.pw_dir == nullptr || *entry.pw_dir == '\0')
            return std::nullopt;
        return std::string(entry.pw_dir);
    }
}

}  // namespace

std::optional<std::string> comrt::user_home(uid_t user) {
    if (user == geteuid()) {
        const char* home = getenv("HOME");
        if (home != nullptr && *home != '\0')
            return std::string(home);
    }
    return PasswordHome(user);
}

BOOL GetUserProfileDirectoryA(HANDLE hToken, LPSTR lpProfileDir, LPDWORD lpcchSize) {
    std::optional<uid_t> user = comrt::token_user(hToken);
    if (!user) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lpcchSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::optional<std::string> home = comrt::user_home(*user);
    if (!home) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const std::size_t needed = home->size() + 1;
    if (lpProfileDir == nullptr || *lpcchSize < needed) {
        *lpcchSize = static_cast<DWORD>(needed);
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(lpProfileDir, home->c_str(), needed);
    *lpcchSize = static_cast<DWORD>(needed);
    return TRUE;
}

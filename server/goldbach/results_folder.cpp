#include "server/goldbach/results_folder.h"

#include <optional>

#include "platform/win32.h"
#include "server/goldbach/new_file.h"

namespace {

constexpr DWORD kPathBufferSize = 260;

// Closes the token on every path out of the profile look-up.
class TokenHandle {
  public:
    TokenHandle() = default;
    ~TokenHandle() {
        if (m_hToken != nullptr)
            CloseHandle(m_hToken);
    }
    TokenHandle(const TokenHandle&) = delete;
    TokenHandle& operator=(const TokenHandle&) = delete;

    HANDLE* Address() noexcept { return &m_hToken; }
    HANDLE Get() const noexcept { return m_hToken; }

  private:
    HANDLE m_hToken = nullptr;
};

std::optional<std::string> ProfileFolder() {
    TokenHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Address()))
        return std::nullopt;
    char szProfile[kPathBufferSize] = {};
    DWORD size = kPathBufferSize;
    if (!GetUserProfileDirectoryA(token.Get(), szProfile, &size))
        return std::nullopt;  // also a profile path too long for the buffer
    const std::string profile(szProfile);
    const std::string kivFolder = profile + kPathSeparator + "KIV";
    const DWORD attributes = GetFileAttributesA(kivFolder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return kivFolder;
    if (CreateDirectoryA(kivFolder.c_str(), nullptr))
        return kivFolder;
    return profile;
}

std::string ExecutableFolder() {
    char szModule[kPathBufferSize] = {};
    if (GetModuleFileNameA(nullptr, szModule, kPathBufferSize) == 0)
        return ".";  // no path to our own executable: the working directory
    PathRemoveFileSpecA(szModule);
    return szModule[0] != '\0' ? std::string(szModule) : std::string(".");
}

}  // namespace

std::string ChooseResultsFolder() {
    if (std::optional<std::string> profile = ProfileFolder())
        return *profile;
    return ExecutableFolder();
}

#include "server/goldbach/new_file.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>

#include "platform/win32.h"

namespace {

constexpr int kNameAttempts = 100;
// Names tried for the file itself before giving up: far more runs than fit in one second.
constexpr unsigned kMaxCopies = 10000;
// The most one WriteFile call is given: its count is a DWORD.
constexpr std::size_t kChunk = 1u << 30;

enum class TakeOutcome { Taken, NameExists, Failed };

// The temporary file until it has been renamed into place: removed when abandoned.
class TemporaryFile {
  public:
    // In `folder` (ending with its separator), named after `name`.
    TemporaryFile(const std::string& folder, const std::string& name) {
        std::random_device entropy;
        std::mt19937_64 suffixes(static_cast<std::uint64_t>(entropy()) << 32 | entropy());
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            // Hidden, and never the name of a results file.
            std::string path = folder + "." + name + "." + Hex(suffixes()) + ".tmp";
            m_file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_file != INVALID_HANDLE_VALUE) {
                m_path = std::move(path);
                return;
            }
            if (GetLastError() != ERROR_FILE_EXISTS)
                return;
        }
    }
    ~TemporaryFile() {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
        if (!m_path.empty())
            DeleteFileA(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool IsOpen() const noexcept { return m_file != INVALID_HANDLE_VALUE; }

    bool Write(std::string_view content) noexcept {
        while (!content.empty()) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), kChunk));
            DWORD written = 0;
            if (!WriteFile(m_file, content.data(), chunk, &written, nullptr) || written == 0)
                return false;
            content.remove_prefix(written);
        }
        return true;
    }

    // Flushes and closes; on success the file is complete on disk.
    bool Close() noexcept {
        const bool flushed = FlushFileBuffers(m_file) != FALSE;
        return CloseHandle(std::exchange(m_file, INVALID_HANDLE_VALUE)) != FALSE && flushed;
    }

    // Gives the file the name `target` unless a file of that name exists: a move that never
    // replaces (no MOVEFILE_REPLACE_EXISTING).
    TakeOutcome TakeName(const std::string& target) noexcept {
        if (MoveFileExA(m_path.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            m_path.clear();  // now the target's
            return TakeOutcome::Taken;
        }
        const DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? TakeOutcome::NameExists
                                                                           : TakeOutcome::Failed;
    }

  private:
    static std::string Hex(std::uint64_t value) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string text(12, '0');
        for (char& digit : text) {
            digit = kDigits[value & 0xF];
            value >>= 4;
        }
        return text;
    }

    HANDLE m_file = INVALID_HANDLE_VALUE;  // owned; closed by Close or the destructor
    std::string m_path;
};

}  // namespace

NewFileOutcome WriteNewFile(const std::string& folder,
                            const std::function<std::string(unsigned)>& nameFor,
                            std::string_view content, std::string& path) {
    const std::string prefix = folder + kPathSeparator;
    path = prefix + nameFor(1);
    TemporaryFile file(prefix, nameFor(1));
    if (!file.IsOpen())
        return NewFileOutcome::NotOpened;
    if (!file.Write(content) || !file.Close())
        return NewFileOutcome::NotWritten;
    for (unsigned copy = 1; copy <= kMaxCopies; ++copy) {
        const std::string target = copy == 1 ? path : prefix + nameFor(copy);
        switch (file.TakeName(target)) {
            case TakeOutcome::Taken:
                path = target;
                return NewFileOutcome::Written;
            case TakeOutcome::NameExists:
                continue;
            case TakeOutcome::Failed:
                return NewFileOutcome::NotWritten;
        }
    }
    return NewFileOutcome::NotWritten;
}

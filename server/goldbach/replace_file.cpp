#include "server/goldbach/replace_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/os/unique_fd.h"

namespace {

constexpr int kNameAttempts = 100;

// The temporary file until it has been renamed into place: removed when abandoned.
class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& target) {
        const std::string::size_type slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        std::random_device entropy;
        std::mt19937_64 suffixes(static_cast<std::uint64_t>(entropy()) << 32 | entropy());
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            // Hidden, and never the name of a results file.
            std::string path = folder + "." + name + "." + Hex(suffixes()) + ".tmp";
            m_fd = comrt::unique_fd(
                ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (m_fd) {
                m_path = std::move(path);
                return;
            }
            if (errno != EEXIST)
                return;
        }
    }
    ~TemporaryFile() {
        m_fd.reset();
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool IsOpen() const noexcept { return static_cast<bool>(m_fd); }

    bool Write(std::string_view content) noexcept {
        while (!content.empty()) {
            const ssize_t written = ::write(m_fd.get(), content.data(), content.size());
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            content.remove_prefix(static_cast<std::size_t>(written));
        }
        return true;
    }

    // Flushes and closes; on success the file is complete on disk.
    bool Close() noexcept {
        const bool synced = ::fsync(m_fd.get()) == 0;
        return ::close(m_fd.release()) == 0 && synced;
    }

    bool RenameTo(const std::string& target) noexcept {
        if (::rename(m_path.c_str(), target.c_str()) != 0)
            return false;
        m_path.clear();  // now the target's
        return true;
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

    comrt::unique_fd m_fd;
    std::string m_path;
};

}  // namespace

ReplaceFileOutcome ReplaceFileContent(const std::string& path, std::string_view content) {
    TemporaryFile file(path);
    if (!file.IsOpen())
        return ReplaceFileOutcome::NotOpened;
    if (!file.Write(content) || !file.Close() || !file.RenameTo(path))
        return ReplaceFileOutcome::NotWritten;
    return ReplaceFileOutcome::Written;
}

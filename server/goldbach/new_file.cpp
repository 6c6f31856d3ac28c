#include "server/goldbach/new_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <utility>

namespace {

constexpr int kNameAttempts = 100;
// Names tried for the file itself before giving up: far more runs than fit in one second.
constexpr unsigned kMaxCopies = 10000;

enum class TakeOutcome { Taken, NameExists, Failed };

// The temporary file until it has been renamed into place: removed when abandoned.
class TemporaryFile {
  public:
    // In `folder` (ending with '/'), named after `name`.
    TemporaryFile(const std::string& folder, const std::string& name) {
        std::random_device entropy;
        std::mt19937_64 suffixes(static_cast<std::uint64_t>(entropy()) << 32 | entropy());
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            // Hidden, and never the name of a results file.
            std::string path = folder + "." + name + "." + Hex(suffixes()) + ".tmp";
            m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_path = std::move(path);
                return;
            }
            if (errno != EEXIST)
                return;
        }
    }
    ~TemporaryFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool IsOpen() const noexcept { return m_fd >= 0; }

    bool Write(std::string_view content) noexcept {
        while (!content.empty()) {
            const ssize_t written = ::write(m_fd, content.data(), content.size());
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
        const bool synced = ::fsync(m_fd) == 0;
        return ::close(std::exchange(m_fd, -1)) == 0 && synced;
    }

    // Gives the file the name `target` unless a file of that name exists: renameat2 with
    // RENAME_NOREPLACE, or where the file system lacks it, a hard link (which never replaces
    // either) and the removal of the temporary name.
    TakeOutcome TakeName(const std::string& target) noexcept {
        if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) ==
            0) {
            m_path.clear();  // now the target's
            return TakeOutcome::Taken;
        }
        if (errno == EEXIST)
            return TakeOutcome::NameExists;
        if (errno != EINVAL && errno != ENOSYS)
            return TakeOutcome::Failed;
        if (::link(m_path.c_str(), target.c_str()) != 0)
            return errno == EEXIST ? TakeOutcome::NameExists : TakeOutcome::Failed;
        return TakeOutcome::Taken;  // the destructor removes the temporary name
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

    int m_fd = -1;  // owned; closed by Close or the destructor
    std::string m_path;
};

}  // namespace

NewFileOutcome WriteNewFile(const std::string& folder,
                            const std::function<std::string(unsigned)>& nameFor,
                            std::string_view content, std::string& path) {
    const std::string prefix = folder + "/";
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

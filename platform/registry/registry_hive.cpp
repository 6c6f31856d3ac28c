#include "platform/registry/registry_hive.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/fd_io.h"
#include "platform/base/hresult.h"
#include "platform/base/unique_fd.h"
#include "platform/os/user_profile.h"
#include "platform/registry/registry.h"

namespace comrt::registry_detail {
namespace {

// The parsed hive of one file. The cache keeps the file open, so its inode number cannot be
// reused while cached: a file at the path with the same device and inode is the same file,
// and since every change replaces the file, the same file means the same content.
struct cached_hive {
    unique_fd fd;
    struct stat st {};
    std::shared_ptr<const reg_node> tree;
};

std::mutex g_cache_mutex;
std::map<std::string, cached_hive>& cache() {
    static std::map<std::string, cached_hive> hives;
    return hives;
}
// Guarded by g_cache_mutex: what is wrong with each hive that last read as damaged.
std::map<std::string, std::string>& damage() {
    static std::map<std::string, std::string> reports;
    return reports;
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

LONG status_from_errno(int error, LONG fallback) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return static_cast<LONG>(ERROR_ACCESS_DENIED);
        case ENOSPC:
        case EDQUOT:
            return static_cast<LONG>(ERROR_DISK_FULL);
        case ENOMEM:
            return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
        default:
            return fallback;
    }
}

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string{} : std::string{value};
}

std::string parent_dir(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string{"."} : path.substr(0, slash == 0 ? 1 : slash);
}

// mkdir -p; the last level gets mode, the levels above the usual 0755 (before the umask).
bool make_dirs(const std::string& dir, mode_t mode) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        errno = ENOTDIR;
        return false;
    }
    std::string parent = parent_dir(dir);
    if (parent != dir && !make_dirs(parent, 0755))
        return false;
    return mkdir(dir.c_str(), mode) == 0 || errno == EEXIST;
}

LONG read_file(int fd, std::string& text) {
    if (int error = read_to_end(fd, text); error != 0)
        return status_from_errno(error, static_cast<LONG>(ERROR_CANTREAD));
    return static_cast<LONG>(ERROR_SUCCESS);
}

const std::shared_ptr<const reg_node>& empty_tree() {
    static const std::shared_ptr<const reg_node> empty = std::make_shared<const reg_node>();
    return empty;
}

LONG load(const std::string& path, std::shared_ptr<const reg_node>& snapshot) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            std::lock_guard lock(g_cache_mutex);
            cache().erase(path);
            damage().erase(path);
            snapshot = empty_tree();
            return static_cast<LONG>(ERROR_SUCCESS);
        }
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTREAD));
    }
    {
        std::lock_guard lock(g_cache_mutex);
        auto it = cache().find(path);
        if (it != cache().end() && same_file(it->second.st, st)) {
            snapshot = it->second.tree;
            return static_cast<LONG>(ERROR_SUCCESS);
        }
    }
    cached_hive fresh;
    fresh.fd = unique_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fresh.fd) {
        if (errno == ENOENT)
            return load(path, snapshot);  // replaced between stat and open
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTREAD));
    }
    if (fstat(fresh.fd.get(), &fresh.st) != 0)
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTREAD));
    std::string text;
    if (LONG status = read_file(fresh.fd.get(), text); status != 0)
        return status;
    hive_parse_error error;
    auto tree = parse_hive(text, &error);
    if (!tree) {
        std::lock_guard lock(g_cache_mutex);
        damage().insert_or_assign(path,
                                  path + ":" + std::to_string(error.line) + ": " + error.what);
        return static_cast<LONG>(ERROR_BADDB);
    }
    fresh.tree = std::make_shared<const reg_node>(std::move(*tree));
    snapshot = fresh.tree;
    std::lock_guard lock(g_cache_mutex);
    damage().erase(path);
    cache().insert_or_assign(path, std::move(fresh));
    return static_cast<LONG>(ERROR_SUCCESS);
}

std::string hive_path(hive_id hive) {
    if (hive == hive_id::machine) {
        std::string dir = env("COMRT_MACHINE_DIR");
        return (dir.empty() ? std::string{"/var/lib/comrt"} : dir) + "/system.reg";
    }
    std::string data = env("XDG_DATA_HOME");
    if (data.empty() || data.front() != '/') {
        std::string home = user_home(geteuid()).value_or("");
        if (home.empty())
            return {};
        data = home + "/.local/share";
    }
    return data + "/comrt/user.reg";
}

}  // namespace

hive_work*& active_work(hive_id hive) {
    thread_local hive_work* open[2] = {nullptr, nullptr};
    return open[hive == hive_id::machine ? 0 : 1];
}

LONG load_hive_file(hive_id hive, std::shared_ptr<const reg_node>& snapshot) {
    std::string path = hive_path(hive);
    if (path.empty()) {
        snapshot = empty_tree();
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    return load(path, snapshot);
}

LONG read_hive(hive_id hive, std::shared_ptr<const reg_node>& snapshot) {
    if (const hive_work* work = active_work(hive); work != nullptr) {
        snapshot = work->tree;
        return static_cast<LONG>(ERROR_SUCCESS);
    }
    return load_hive_file(hive, snapshot);
}

LONG lock_hive(hive_id hive, unique_fd& lock) {
    const std::string path = hive_path(hive);
    if (path.empty())
        return static_cast<LONG>(ERROR_PATH_NOT_FOUND);
    const std::string dir = parent_dir(path);
    if (!make_dirs(dir, hive == hive_id::machine ? 0755 : 0700))
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));

    // Writers in every process and thread take this lock: each call opens its own
    // description, and flock excludes other descriptions of the same file. Readers never
    // take it (they rely on the atomic replace), so only the owner needs to open it: a lock
    // file others could open would let any of them hold off the owner's writes for ever.
    lock = unique_fd(
        ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock)
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));
    struct stat st;
    if (fstat(lock.get(), &st) != 0)
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));
    if ((st.st_mode & 0077) != 0 && fchmod(lock.get(), 0600) != 0)
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));  // an older one
    if (retry_on_eintr([&] { return flock(lock.get(), LOCK_EX); }) != 0)
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));
    return static_cast<LONG>(ERROR_SUCCESS);
}

LONG write_hive_file(hive_id hive, std::shared_ptr<const reg_node> tree) {
    const std::string path = hive_path(hive);
    if (path.empty())
        return static_cast<LONG>(ERROR_PATH_NOT_FOUND);
    const mode_t file_mode = hive == hive_id::machine ? 0644 : 0600;
    const std::string dir = parent_dir(path);
    const std::string text = serialize_hive(*tree);
    const std::string temp = path + ".tmp";
    cached_hive written;
    written.fd =
        unique_fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, file_mode));
    if (!written.fd)
        return status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));
    if (!write_all(written.fd.get(), text.data(), text.size()) || fsync(written.fd.get()) != 0 ||
        fstat(written.fd.get(), &written.st) != 0) {
        LONG status = status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));
        ::unlink(temp.c_str());
        return status;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        LONG status = status_from_errno(errno, static_cast<LONG>(ERROR_CANTWRITE));
        ::unlink(temp.c_str());
        return status;
    }
    // The rename is durable only once the directory is.
    if (unique_fd dirfd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)); dirfd)
        fsync(dirfd.get());
    written.tree = std::move(tree);
    std::lock_guard guard(g_cache_mutex);
    cache().insert_or_assign(path, std::move(written));
    return static_cast<LONG>(ERROR_SUCCESS);
}

LONG modify_hive(hive_id hive, const std::function<LONG(reg_node& root, bool& changed)>& change) {
    if (hive_work* work = active_work(hive); work != nullptr) {
        reg_node copy = *work->tree;
        bool changed = false;
        LONG status = change(copy, changed);
        if (status == static_cast<LONG>(ERROR_SUCCESS) && changed) {
            work->tree = std::make_shared<const reg_node>(std::move(copy));
            work->changed = true;
        }
        return status;
    }
    unique_fd lock;
    if (LONG status = lock_hive(hive, lock); status != 0)
        return status;
    std::shared_ptr<const reg_node> current;
    if (LONG status = load_hive_file(hive, current); status != 0)
        return status;
    reg_node work = *current;
    bool changed = false;
    if (LONG status = change(work, changed); status != 0 || !changed)
        return status;
    return write_hive_file(hive, std::make_shared<const reg_node>(std::move(work)));
}

}  // namespace comrt::registry_detail

namespace comrt {

std::string machine_hive_path() {
    return registry_detail::hive_path(registry_detail::hive_id::machine);
}
std::string user_hive_path() {
    return registry_detail::hive_path(registry_detail::hive_id::user);
}
std::vector<std::string> damaged_hives() {
    std::vector<std::string> reports;
    std::lock_guard guard(registry_detail::g_cache_mutex);
    for (const auto& entry : registry_detail::damage())
        reports.push_back(entry.second);
    return reports;
}

}  // namespace comrt

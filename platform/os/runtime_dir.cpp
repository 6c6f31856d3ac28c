#include "platform/os/runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace comrt {

std::string runtime_dir_path() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/comrt";
    return "/tmp/comrt-" + std::to_string(::getuid());
}

std::optional<std::string> ensure_runtime_dir() {
    std::string path = runtime_dir_path();
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    // A directory someone else planted in /tmp must not receive our sockets.
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
        errno = EACCES;
        return std::nullopt;
    }
    return path;
}

}  // namespace comrt

#include "platform/os/runtime_dir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace comrt {

std::string runtime_dir_path() {
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg != nullptr && xdg[0] == '/')
        return std::string(xdg) + "/comrt";
    return "/tmp/comrt-" + std::to_string(::getuid());
}

// Whoever may rename entries of the parent directory may swap ours for their own: the parent
// must be the user's or root's, and closed to others' writes unless sticky (as /tmp is).
std::string parent_problem(const std::string& path) {
    std::string parent = path.substr(0, path.find_last_of('/'));
    if (parent.empty())
        parent = "/";
    std::string what = "The runtime directory's parent " + parent;
    struct stat st {};
    if (::stat(parent.c_str(), &st) != 0)
        return what + " cannot be used: " + std::strerror(errno) + ".";
    if (st.st_uid != ::getuid() && st.st_uid != 0)
        return what + " is owned by uid " + std::to_string(st.st_uid) + ", not by uid " +
               std::to_string(::getuid()) + " or root.";
    if ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return what + " may be changed by other users (mode " + mode + ").";
    }
    return {};
}

std::string runtime_dir_problem(const std::string& path) {
    if (std::string problem = parent_problem(path); !problem.empty())
        return problem;
    std::string what = "The runtime directory " + path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return what + " cannot be used: " + std::strerror(errno) + ".";
    // A directory someone else planted in /tmp must not receive our sockets.
    if (S_ISLNK(st.st_mode))
        return what + " is a symbolic link, not a directory of its own.";
    if (!S_ISDIR(st.st_mode))
        return what + " is not a directory.";
    if (st.st_uid != ::getuid())
        return what + " is owned by uid " + std::to_string(st.st_uid) + ", not by uid " +
               std::to_string(::getuid()) + ".";
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return what + " is accessible by other users (mode " + mode + ").";
    }
    return {};
}

std::optional<std::string> ensure_runtime_dir(std::string& problem) {
    std::string path = runtime_dir_path();
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        problem =
            "The runtime directory " + path + " cannot be created: " + std::strerror(errno) + ".";
        return std::nullopt;
    }
    problem = runtime_dir_problem(path);
    if (!problem.empty())
        return std::nullopt;
    return path;
}

std::optional<std::string> ensure_runtime_dir() {
    std::string problem;
    auto path = ensure_runtime_dir(problem);
    if (!path)
        errno = EACCES;
    return path;
}

}  // namespace comrt

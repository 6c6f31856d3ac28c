#pragma once
// The per-user runtime directory of the platform: $XDG_RUNTIME_DIR/comrt, else
// /tmp/comrt-<uid>. Sockets of the debug channel and of running servers live there.
#include <optional>
#include <string>

namespace comrt {

// The path, whether or not it exists yet.
std::string runtime_dir_path();
// Creates the directory (mode 0700) when missing and checks that it is a real directory (no
// symbolic link) owned by the calling user and closed to others. Returns the path, or nullopt
// with `problem` saying which directory is refused and why.
std::optional<std::string> ensure_runtime_dir(std::string& problem);
// The same with errno set instead of a description.
std::optional<std::string> ensure_runtime_dir();
// Checks an existing directory without creating it; the problem text, empty when usable.
std::string runtime_dir_problem(const std::string& path);

}  // namespace comrt

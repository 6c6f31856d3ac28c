#pragma once
// The per-user runtime directory of the platform: $XDG_RUNTIME_DIR/comrt, else
// /tmp/comrt-<uid>. Sockets of the debug channel and of running servers live there.
#include <optional>
#include <string>

namespace comrt {

// The path, whether or not it exists yet.
std::string runtime_dir_path();
// Creates the directory (mode 0700) when missing and checks that it is a directory owned by
// the calling user and closed to others. Returns the path, or nullopt with errno set.
std::optional<std::string> ensure_runtime_dir();

}  // namespace comrt

#pragma once
// Running the real kiv executable from tests: registration runs, the server that activation
// started, and its exit.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace kivtest {

// "Within a second" as the user sees it; sanitizer builds run several times slower (and
// check for leaks at every process exit), so they get more room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr std::chrono::milliseconds kOneSecond{5000};
#else
inline constexpr std::chrono::milliseconds kOneSecond{1000};
#endif

// Path of the kiv executable under test.
const char* KivPath();
// Runs kiv with `args` and returns its exit status (-1 when it did not exit normally).
int RunKiv(const std::vector<std::string>& args);
// Starts kiv with `args` without waiting.
pid_t StartKiv(const std::vector<std::string>& args);
// What a finished program wrote and how it exited.
struct Captured {
    int status = -1;  // the exit status, -1 when it did not exit normally
    std::string out, err;
};
// Runs `program` with `args` to its end, capturing its standard output and error.
Captured RunCaptured(const std::string& program, const std::vector<std::string>& args);

// Makes this process the reaper of orphans, so a server started by activation becomes our
// child and its exit status can be read.
void AdoptOrphans();
// The process serving CLSID_Prime for this user, found through its socket; 0 when none.
pid_t ServerPid();
// Waits up to `limit` for `pid` (our child) to exit; its exit status, or nullopt.
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit);
// Whether `pid` still runs (a zombie counts as ended).
bool Running(pid_t pid);

}  // namespace kivtest

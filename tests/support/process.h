#pragma once
// Child processes of a test: running a program to its end, watching one that runs, and reaping
// servers that activation started.
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

// What a finished program wrote and how it exited.
struct Captured {
    int status = -1;  // the exit status, -1 when it did not exit normally
    std::string out, err;
};
// Runs `program` with `args` to its end, its standard input read from the file `input`,
// capturing its standard output and error.
Captured RunCaptured(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input = "/dev/null");
// Starts `program` with `args` without waiting.
pid_t Start(const std::string& program, const std::vector<std::string>& args);

// A program running with its standard output in a file; killed and reaped at the latest when
// the object goes.
class Child {
  public:
    Child(const std::string& program, const std::vector<std::string>& args);
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void Kill();
    // Its output once it has exited within `limit`; nullopt while it still runs.
    std::optional<std::string> Output(std::chrono::milliseconds limit);

  private:
    std::string out_;
    pid_t pid_ = -1;
};

// The path of the running test program, which its tests relaunch as a server or client.
std::string SelfPath();

// Makes this process the reaper of orphans, so a server started by activation becomes our
// child and its exit status can be read.
void AdoptOrphans();
// Waits up to `limit` for `pid` (our child) to exit; its exit status, or nullopt.
std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit);
// Whether `pid` still runs (a zombie counts as ended).
bool Running(pid_t pid);

}  // namespace kivtest

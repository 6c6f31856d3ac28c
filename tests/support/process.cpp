#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "platform/base/unique_fd.h"

namespace kivtest {
namespace {

std::vector<std::string> ArgvOf(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

[[noreturn]] void Exec(std::vector<std::string> all) {
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace

pid_t Start(const std::string& program, const std::vector<std::string>& args) {
    auto all = ArgvOf(program, args);  // before fork: the child only execs
    pid_t pid = ::fork();
    if (pid == 0)
        Exec(std::move(all));
    return pid;
}

Captured RunCaptured(const std::string& program, const std::vector<std::string>& args,
                     const std::string& input) {
    Captured captured;
    struct Close {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, Close> out(std::tmpfile()), err(std::tmpfile());
    const comrt::unique_fd in(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
    if (!out || !err || !in)
        return captured;
    auto all = ArgvOf(program, args);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in.get(), STDIN_FILENO);
        ::dup2(::fileno(out.get()), STDOUT_FILENO);
        ::dup2(::fileno(err.get()), STDERR_FILENO);
        Exec(std::move(all));
    }
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        captured.status = WEXITSTATUS(status);
    auto slurp = [](FILE* file) {
        std::string text;
        std::rewind(file);
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, n);
        return text;
    };
    captured.out = slurp(out.get());
    captured.err = slurp(err.get());
    return captured;
}

Child::Child(const std::string& program, const std::vector<std::string>& args) {
    static int count = 0;
    out_ = std::string(std::getenv("HOME")) + "/child-" + std::to_string(++count) + ".txt";
    auto all = ArgvOf(program, args);
    pid_ = ::fork();
    if (pid_ == 0) {
        if (!std::freopen(out_.c_str(), "w", stdout) || !std::freopen("/dev/null", "w", stderr))
            ::_exit(126);
        Exec(std::move(all));
    }
}

void Child::Kill() {
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = 0;
}

std::optional<std::string> Child::Output(std::chrono::milliseconds limit) {
    if (pid_ <= 0 || !WaitExit(pid_, limit))
        return std::nullopt;
    pid_ = 0;
    std::ifstream file(out_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string SelfPath() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}

void AdoptOrphans() {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

bool Running(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pid_text, name, state;
    if (!(stat >> pid_text >> name >> state))
        return false;
    return state != "Z" && state != "X";
}

std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        pid_t got = ::waitpid(pid, &status, WNOHANG);
        if (got == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (got < 0 && !Running(pid))
            return -1;  // not our child, but gone
        if (std::chrono::steady_clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

}  // namespace kivtest

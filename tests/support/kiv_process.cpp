#include "tests/support/kiv_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>

#include "platform/ole/channel.h"
#include "platform/os/runtime_dir.h"
#include "platform/win32.h"
#include "server/interface/iprime.h"

namespace kivtest {

const char* KivPath() {
    return KIV_EXECUTABLE;
}

pid_t StartKiv(const std::vector<std::string>& args) {
    std::vector<std::string> argv_strings{KivPath()};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_strings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int RunKiv(const std::vector<std::string>& args) {
    pid_t pid = StartKiv(args);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

Captured RunCaptured(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> argv_strings{program};
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_strings)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    Captured captured;
    struct Close {
        void operator()(FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<FILE, Close> out(std::tmpfile()), err(std::tmpfile());
    if (!out || !err)
        return captured;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(::fileno(out.get()), STDOUT_FILENO);
        ::dup2(::fileno(err.get()), STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
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

void AdoptOrphans() {
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
}

pid_t ServerPid() {
    std::string path =
        comrt::class_endpoint_path(comrt::runtime_dir_path(), guid_to_string(CLSID_Prime), ".sock");
    comrt::unique_fd fd = comrt::connect_unix(path);
    if (!fd)
        return 0;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return 0;
    return peer.pid;
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

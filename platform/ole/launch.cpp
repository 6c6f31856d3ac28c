#include "platform/ole/launch.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/base/fd_io.h"
#include "platform/ole/channel.h"
#include "platform/ole/class_registration.h"
#include "platform/oleaut/error_info.h"
#include "platform/os/environment.h"
#include "platform/os/runtime_dir.h"
#include "platform/registry/registry.h"

extern char** environ;

namespace comrt {
namespace {

using namespace std::chrono_literals;

// How long a starting server has to publish its class.
constexpr auto start_timeout = 30s;

// How long a client waits for another client that is starting the server. The environment
// may shorten it (tests of a stuck starter).
std::chrono::milliseconds spawn_lock_timeout() {
    return milliseconds_setting("COMRT_SPAWN_LOCK_TIMEOUT_MS", 30s);
}

std::string duration_text(std::chrono::milliseconds d) {
    return d.count() % 1000 == 0 ? std::to_string(d.count() / 1000) + " s"
                                 : std::to_string(d.count()) + " ms";
}

bool peer_is_us(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
}

unique_fd try_connect(const std::string& path) {
    unique_fd fd = connect_unix(path);
    if (fd && !peer_is_us(fd.get()))
        fd.reset();  // someone else's socket in our place
    return fd;
}

// Starts the server detached from our session and terminal. Returns the read end of a pipe
// that gets one byte when the server has published its classes and EOF if it dies first.
unique_fd spawn_server(const std::string& command) {
    std::vector<std::string> args = split_command_line(command);
    if (args.empty())
        return unique_fd();
    args.push_back("-Embedding");

    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0)
        return unique_fd();
    unique_fd ready_read(pipe_fds[0]), ready_write(pipe_fds[1]);

    // Everything the children need is prepared before fork: after it only async-signal-safe
    // calls are allowed.
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e)
        if (std::strncmp(*e, launch_fd_variable, std::strlen(launch_fd_variable)) != 0)
            env_strings.emplace_back(*e);
    env_strings.push_back(std::string(launch_fd_variable) + "=" +
                          std::to_string(ready_write.get()));
    std::vector<char*> argv, envp;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env_strings)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int write_fd = ready_write.get();

    pid_t child = ::fork();
    if (child < 0)
        return unique_fd();
    if (child == 0) {
        // The intermediate child starts a new session and leaves, so the server belongs to
        // no client and no terminal, and init reaps it.
        ::setsid();
        pid_t server = ::fork();
        if (server != 0)
            ::_exit(server < 0 ? 1 : 0);
        int null_fd = ::open("/dev/null", O_RDWR);
        if (null_fd >= 0) {
            ::dup2(null_fd, 0);
            ::dup2(null_fd, 1);
            ::dup2(null_fd, 2);
            if (null_fd > 2)
                ::close(null_fd);
        }
        ::fcntl(write_fd, F_SETFD, 0);  // the one descriptor the server inherits
        if (::chdir("/") != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    int status = 0;
    retry_on_eintr([&] { return ::waitpid(child, &status, 0); });
    ready_write.reset();
    return ready_read;
}

// Waits for the server's byte; false when it died or took too long.
bool wait_until_ready(int fd) {
    auto deadline = std::chrono::steady_clock::now() + start_timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd pfd{fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char byte;
        return retry_on_eintr([&] { return ::read(fd, &byte, 1); }) == 1;
    }
}

}  // namespace

HRESULT local_server_command(REFCLSID clsid, std::string& command) {
    auto value =
        reg_get_string(HKEY_CLASSES_ROOT, "CLSID\\" + guid_to_string(clsid) + "\\LocalServer32");
    if (!value || value->empty())
        return REGDB_E_CLASSNOTREG;
    command = *value;
    return S_OK;
}

std::vector<std::string> split_command_line(const std::string& command) {
    std::vector<std::string> args;
    std::size_t i = 0;
    auto blank = [&](char c) { return c == ' ' || c == '\t'; };
    while (i < command.size()) {
        while (i < command.size() && blank(command[i]))
            ++i;
        if (i >= command.size())
            break;
        std::string arg;
        if (command[i] == '"') {
            std::size_t end = command.find('"', i + 1);
            if (end == std::string::npos)
                end = command.size();
            arg = command.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < command.size() && !blank(command[i]))
                arg.push_back(command[i++]);
        }
        args.push_back(std::move(arg));
    }
    return args;
}

HRESULT connect_to_server(REFCLSID clsid, const std::string& command, unique_fd& connection) {
    std::string problem;
    auto dir = ensure_runtime_dir(problem);
    if (!dir) {
        set_error_description(problem);
        return E_ACCESSDENIED;
    }
    std::string id = guid_to_string(clsid);
    std::string socket_path = class_endpoint_path(*dir, id, ".sock");
    if ((connection = try_connect(socket_path)))
        return S_OK;

    // One client at a time decides whether to start the server; the others find it published.
    std::string lock_path = class_endpoint_path(*dir, id, ".spawn.lock");
    unique_fd lock{::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)};
    if (!lock) {
        set_error_description("The lock file " + lock_path +
                              " cannot be opened: " + std::strerror(errno) + ".");
        return E_ACCESSDENIED;
    }
    auto limit = spawn_lock_timeout();
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            set_error_description("The lock file " + lock_path +
                                  " cannot be locked: " + std::strerror(errno) + ".");
            return E_ACCESSDENIED;
        }
        if ((connection = try_connect(socket_path)))
            return S_OK;  // the holder's server is up
        if (std::chrono::steady_clock::now() >= deadline) {
            set_error_description("The server could not be started: the lock file " + lock_path +
                                  " was held by another process for " + duration_text(limit) + ".");
            return CO_E_SERVER_EXEC_FAILURE;
        }
        std::this_thread::sleep_for(5ms);
    }
    if ((connection = try_connect(socket_path)))
        return S_OK;

    unique_fd ready = spawn_server(command);
    if (!ready || !wait_until_ready(ready.get())) {
        // It may have found another server in place, which would do as well.
        if ((connection = try_connect(socket_path)))
            return S_OK;
        set_error_description("The server " + command + " did not start.");
        return CO_E_SERVER_EXEC_FAILURE;
    }
    // Other clients may have used the new server and ended it before we got here.
    connection = try_connect(socket_path);
    return connection ? S_OK : CO_E_SERVER_STOPPING;
}

}  // namespace comrt

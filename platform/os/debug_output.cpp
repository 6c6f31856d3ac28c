#include "platform/os/debug_output.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "platform/base/fd_io.h"
#include "platform/os/runtime_dir.h"

namespace comrt {
namespace {

bool make_address(const std::string& path, sockaddr_un& addr) {
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

unique_fd make_sender() {
    unique_fd fd{::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    timeval limit{1, 0};  // a stalled listener slows the sender, never stops it
    if (fd)
        ::setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return fd;
}

// One sending socket for the whole process; datagram sends are safe from any thread.
int sender_socket() {
    static const unique_fd fd = make_sender();
    return fd.get();
}

[[noreturn]] void throw_errno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

std::string debug_socket_path() {
    return runtime_dir_path() + "/debug";
}

}  // namespace

DebugOutputListener::DebugOutputListener() {
    std::string problem;
    if (!ensure_runtime_dir(problem))
        throw std::runtime_error(problem);
    path_ = debug_socket_path();
    sockaddr_un addr;
    if (!make_address(path_, addr))
        throw std::system_error(ENAMETOOLONG, std::generic_category());
    socket_.reset(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!socket_)
        throw_errno("debug output: socket");
    if (::bind(socket_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return;
    if (errno != EADDRINUSE)
        throw_errno("debug output: bind");
    // A socket file left by a listener that died is taken over; a live listener is not.
    unique_fd probe{::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
    if (::connect(probe.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ||
        errno != ECONNREFUSED) {
        errno = EADDRINUSE;
        throw_errno("debug output: another listener is running");
    }
    ::unlink(path_.c_str());
    if (::bind(socket_.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        throw_errno("debug output: bind");
}

DebugOutputListener::~DebugOutputListener() {
    ::unlink(path_.c_str());
}

std::optional<std::string> DebugOutputListener::receive(std::chrono::milliseconds timeout) {
    pollfd pfd{socket_.get(), POLLIN, 0};
    const int ready =
        retry_on_eintr([&] { return ::poll(&pfd, 1, static_cast<int>(timeout.count())); });
    if (ready <= 0)
        return std::nullopt;
    ssize_t size = ::recv(socket_.get(), nullptr, 0, MSG_PEEK | MSG_TRUNC);
    if (size < 0)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    ssize_t got = ::recv(socket_.get(), text.data(), text.size(), 0);
    if (got < 0)
        return std::nullopt;
    text.resize(static_cast<std::size_t>(got));
    return text;
}

}  // namespace comrt

void OutputDebugStringA(LPCSTR lpOutputString) {
    if (lpOutputString == nullptr)
        return;
    int saved = errno;  // debug output leaves no trace, not even in errno
    int fd = comrt::sender_socket();
    sockaddr_un addr;
    // Nothing goes to a listener in a directory that another user could have planted.
    if (fd < 0 || !comrt::make_address(comrt::debug_socket_path(), addr) ||
        !comrt::runtime_dir_problem(comrt::runtime_dir_path()).empty()) {
        errno = saved;
        return;
    }
    ::sendto(fd, lpOutputString, std::strlen(lpOutputString), MSG_NOSIGNAL,
             reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    errno = saved;
}

#include "platform/ole/class_endpoint.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/base/hresult.h"
#include "platform/ole/apartment.h"
#include "platform/ole/process_state.h"
#include "platform/oleaut/error_info.h"
#include "platform/os/process.h"
#include "platform/os/runtime_dir.h"

namespace comrt {
namespace {

// Takes the class's server lock, waiting a little for a server that is shutting down.
unique_fd take_server_lock(const std::string& path) {
    unique_fd fd{::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
    if (!fd)
        return fd;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() > deadline) {
            fd.reset();
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return fd;
}

bool on_listener_thread(DWORD thread) {
    return thread == GetCurrentThreadId() && in_apartment();
}

}  // namespace

HRESULT ClassEndpoint::publish(REFCLSID clsid) {
    if (published_)
        return S_OK;
    if (!close_listener())
        return RPC_E_WRONG_THREAD;
    std::string problem;
    auto dir = ensure_runtime_dir(problem);
    if (!dir) {
        // The server has no window to show it: its standard error (the terminal when started
        // by hand) and its error information get it.
        std::fprintf(stderr, "comrt: %s\n", problem.c_str());
        set_error_description(problem);
        return E_ACCESSDENIED;
    }
    std::string id = guid_to_string(clsid);
    unique_fd lock = take_server_lock(class_endpoint_path(*dir, id, ".server.lock"));
    if (!lock)
        return CO_E_SERVER_EXEC_FAILURE;
    std::string path = class_endpoint_path(*dir, id, ".sock");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unique_fd listener{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (!listener)
        return E_FAIL;
    ::unlink(path.c_str());  // left by a server that died; we hold the lock
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 64) != 0)
        return E_ACCESSDENIED;
    if (!process_state().acceptor.listen(listener.get())) {
        ::unlink(path.c_str());
        return CO_E_NOTINITIALIZED;
    }
    listener_ = std::move(listener);
    server_lock_ = std::move(lock);
    socket_path_ = std::move(path);
    thread_ = GetCurrentThreadId();
    linked_ = true;
    published_ = true;
    return S_OK;
}

void ClassEndpoint::withdraw() {
    published_ = false;
    if (linked_)
        ::unlink(socket_path_.c_str());
    linked_ = false;
    close_listener();
    server_lock_.reset();
}

bool ClassEndpoint::close_listener() {
    if (!listener_)
        return true;
    if (!on_listener_thread(thread_))
        return false;
    process_state().acceptor.stop_listening(listener_.get());
    listener_.reset();
    return true;
}

}  // namespace comrt

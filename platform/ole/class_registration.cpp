#include "platform/ole/class_registration.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/base/com_ptr.h"
#include "platform/ole/apartment.h"
#include "platform/ole/channel.h"
#include "platform/ole/server_connection.h"
#include "platform/ole/wire.h"
#include "platform/oleaut/error_info.h"
#include "platform/os/environment.h"
#include "platform/os/process.h"
#include "platform/os/runtime_dir.h"

namespace comrt {
namespace {

struct ClassEntry {
    CLSID clsid;
    CComPtr<IClassFactory> factory;
    DWORD flags;
    bool published = false;
    unique_fd listener;
    unique_fd server_lock;  // held while published: one server per user and class
    std::string socket_path;
    bool linked =
        false;  // our socket file is in place; once unlinked, the path may be another server's
    DWORD thread = 0;  // the apartment whose loop watches the listener
};

// Registered classes, by cookie. Touched by the registering apartment's thread; the mutex
// guards against suspension from a thread that releases the last server reference.
std::mutex g_lock;
std::map<DWORD, ClassEntry> g_classes;
DWORD g_next_cookie = 1;
std::atomic<ULONG> g_server_refs{0};
std::atomic<bool> g_suspended{false};
std::map<int, std::unique_ptr<ServerConnection>> g_connections;  // apartment thread only

IClassFactory* lookup_class(const CLSID& clsid, HRESULT& why_not) {
    if (g_suspended.load()) {
        why_not = CO_E_SERVER_STOPPING;
        return nullptr;
    }
    std::lock_guard guard(g_lock);
    for (auto& [cookie, entry] : g_classes)
        if (entry.clsid == clsid && entry.published)
            return entry.factory.get();
    why_not = REGDB_E_CLASSNOTREG;
    return nullptr;
}

// A spare descriptor, given up for a moment to refuse a client cleanly when the process has
// none left; without it the pending client would wait forever and the loop would spin on it.
unique_fd g_reserve;
// The listener no longer watched because a pending client could not be answered; watched
// again when a connection makes progress (and may have given back its descriptor).
int g_paused_listener = -1;

unique_fd open_reserve() {
    return unique_fd{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
}

void on_listener(int listen_fd);

void resume_listener() {
    if (g_paused_listener < 0)
        return;
    int fd = g_paused_listener;
    g_paused_listener = -1;
    std::lock_guard guard(g_lock);
    for (auto& [cookie, entry] : g_classes)
        if (entry.listener.get() == fd)
            apartment_watch(fd, [fd](short) { on_listener(fd); });
}

void close_connection(std::map<int, std::unique_ptr<ServerConnection>>::iterator it) {
    apartment_unwatch(it->first);
    auto finished = std::move(it->second);
    g_connections.erase(it);
    finished.reset();  // releases what the client held; may end the server
    if (!g_reserve)
        g_reserve = open_reserve();
}

void on_connection(int fd, short revents) {
    auto it = g_connections.find(fd);
    if (it == g_connections.end())
        return;
    if (!it->second->on_ready(revents))
        close_connection(it);
    resume_listener();
}

// A client that stops half-way through a message keeps bytes of the budget from everyone
// else; after this long without progress it is treated as gone. The environment may shorten
// it (tests).
std::chrono::milliseconds stall_limit() {
    return milliseconds_setting("COMRT_STALLED_SENDER_MS", std::chrono::seconds(10));
}

UINT_PTR g_stall_timer = 0;
std::chrono::milliseconds g_stall_limit{};
std::chrono::steady_clock::time_point g_last_stall_check;

void check_stalled_senders(HWND, UINT, UINT_PTR, DWORD) {
    auto now = std::chrono::steady_clock::now();
    auto limit = g_stall_limit;
    auto since_last = now - g_last_stall_check;
    g_last_stall_check = now;
    if (since_last > limit / 2) {
        // The loop was busy (a long call): nobody's bytes were read meanwhile, so nobody
        // stalled.
        for (auto& [fd, connection] : g_connections)
            connection->excuse_until(now);
        return;
    }
    bool closed = false;
    for (auto it = g_connections.begin(); it != g_connections.end();) {
        auto next = std::next(it);
        if (it->second->stalled_before(now - limit)) {
            close_connection(it);
            closed = true;
        }
        it = next;
    }
    if (closed)
        resume_listener();
}

void start_stall_checks() {
    if (g_stall_timer != 0)
        return;
    g_stall_limit = stall_limit();
    auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(g_stall_limit / 8);
    g_last_stall_check = std::chrono::steady_clock::now();
    g_stall_timer = SetTimer(nullptr, 0, static_cast<UINT>(std::max<long long>(tick.count(), 10)),
                             &check_stalled_senders);
}

// The client of a connection we cannot keep gets its activation's answer at once.
void refuse_pending(int listen_fd) {
    g_reserve.reset();
    unique_fd fd{::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
    bool answered = static_cast<bool>(fd);
    if (fd) {
        wire::Writer reply;
        reply.put<HRESULT>(HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES));
        send_message(fd.get(), reply.bytes());
        fd.reset();
    }
    g_reserve = open_reserve();
    // Trying again at once would only spin: rest until a connection makes progress.
    if (!answered || !g_reserve) {
        apartment_unwatch(listen_fd);
        g_paused_listener = listen_fd;
    }
}

void on_listener(int listen_fd) {
    if (!g_reserve)
        g_reserve = open_reserve();
    unique_fd fd{::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
    if (!fd) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            refuse_pending(listen_fd);
        return;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    // Only the user's own processes may activate or call.
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        peer.uid != ::getuid())
        return;
    int raw = fd.get();
    auto connection = std::make_unique<ServerConnection>(std::move(fd), &lookup_class);
    g_connections[raw] = std::move(connection);
    apartment_watch(raw, [raw](short revents) { on_connection(raw, revents); });
}

void unpublish(ClassEntry& entry) {
    if (!entry.published)
        return;
    entry.published = false;
    if (entry.linked)
        ::unlink(entry.socket_path.c_str());  // first, so no new client finds it
    entry.linked = false;
    if (entry.listener)
        apartment_unwatch(entry.listener.get());
    entry.listener.reset();
    entry.server_lock.reset();
}

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

HRESULT publish(ClassEntry& entry) {
    std::string problem;
    auto dir = ensure_runtime_dir(problem);
    if (!dir) {
        // The server has no window to show it: its standard error (the terminal when started
        // by hand) and its error information get it.
        std::fprintf(stderr, "comrt: %s\n", problem.c_str());
        set_error_description(problem);
        return E_ACCESSDENIED;
    }
    std::string id = guid_to_string(entry.clsid);
    unique_fd lock = take_server_lock(class_endpoint_path(*dir, id, ".server.lock"));
    if (!lock)
        return CO_E_SERVER_EXEC_FAILURE;
    entry.socket_path = class_endpoint_path(*dir, id, ".sock");
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (entry.socket_path.size() >= sizeof addr.sun_path)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(addr.sun_path, entry.socket_path.c_str(), entry.socket_path.size() + 1);
    unique_fd listener{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)};
    if (!listener)
        return E_FAIL;
    ::unlink(entry.socket_path.c_str());  // left by a server that died; we hold the lock
    if (::bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.get(), 64) != 0)
        return E_ACCESSDENIED;
    int raw = listener.get();
    if (!apartment_watch(raw, [raw](short) { on_listener(raw); })) {
        ::unlink(entry.socket_path.c_str());
        return CO_E_NOTINITIALIZED;
    }
    start_stall_checks();
    entry.listener = std::move(listener);
    entry.thread = GetCurrentThreadId();
    entry.server_lock = std::move(lock);
    entry.published = true;
    entry.linked = true;
    return S_OK;
}

// A client that launched us waits on this pipe until the classes are reachable.
void signal_launcher() {
    const char* value = std::getenv(launch_fd_variable);
    if (value == nullptr)
        return;
    int fd = std::atoi(value);
    ::unsetenv(launch_fd_variable);
    if (fd > 2) {
        char ready = 1;
        [[maybe_unused]] auto ignored = ::write(fd, &ready, 1);
        ::close(fd);
    }
}

}  // namespace
}  // namespace comrt

using namespace comrt;

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              LPDWORD lpdwRegister) {
    if (pUnk == nullptr || lpdwRegister == nullptr)
        return E_INVALIDARG;
    *lpdwRegister = 0;
    if (!in_apartment())
        return CO_E_NOTINITIALIZED;
    if ((dwClsContext & CLSCTX_LOCAL_SERVER) == 0)
        return E_INVALIDARG;
    CComPtr<IClassFactory> factory;
    if (FAILED(pUnk->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&factory))))
        return E_NOINTERFACE;
    DWORD cookie;
    {
        std::lock_guard guard(g_lock);
        cookie = g_next_cookie++;
        ClassEntry& entry = g_classes[cookie];
        entry.clsid = rclsid;
        entry.factory = factory;
        entry.flags = flags;
    }
    if ((flags & REGCLS_SUSPENDED) == 0) {
        std::lock_guard guard(g_lock);
        HRESULT hr = publish(g_classes[cookie]);
        if (FAILED(hr)) {
            g_classes.erase(cookie);
            return hr;
        }
        signal_launcher();
    }
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT CoResumeClassObjects() {
    std::lock_guard guard(g_lock);
    for (auto& [cookie, entry] : g_classes) {
        if (entry.published)
            continue;
        HRESULT hr = publish(entry);
        if (FAILED(hr))
            return hr;
    }
    g_suspended = false;
    signal_launcher();
    return S_OK;
}

HRESULT CoSuspendClassObjects() {
    g_suspended = true;  // from here on every activation is refused
    std::lock_guard guard(g_lock);
    for (auto& [cookie, entry] : g_classes) {
        // Stop accepting first: clients still in the backlog are hung up on and look for the
        // next server. Only the listener's own apartment may stop watching it; elsewhere the
        // listener stays and what it accepts is refused.
        if (entry.listener && entry.thread == GetCurrentThreadId() && in_apartment()) {
            apartment_unwatch(entry.listener.get());
            if (g_paused_listener == entry.listener.get())
                g_paused_listener = -1;
            entry.listener.reset();
        }
        // Then unpublish; a new server may take the name and the lock at once.
        if (entry.linked)
            ::unlink(entry.socket_path.c_str());
        entry.linked = false;
        entry.server_lock.reset();
    }
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    std::lock_guard guard(g_lock);
    auto it = g_classes.find(dwRegister);
    if (it == g_classes.end())
        return E_INVALIDARG;
    unpublish(it->second);
    g_classes.erase(it);
    return S_OK;
}

ULONG CoAddRefServerProcess() {
    return ++g_server_refs;
}

ULONG CoReleaseServerProcess() {
    ULONG left = --g_server_refs;
    if (left == 0)
        CoSuspendClassObjects();
    return left;
}

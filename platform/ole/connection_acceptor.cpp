#include "platform/ole/connection_acceptor.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <utility>

#include "platform/ole/channel.h"
#include "platform/ole/process_state.h"
#include "platform/ole/wire.h"
#include "platform/os/environment.h"

namespace comrt {
namespace {

unique_fd open_reserve() {
    return unique_fd{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
}

IClassFactory* lookup_class(const CLSID& clsid, HRESULT& why_not) {
    return process_state().classes.find(clsid, why_not);
}

}  // namespace

bool ConnectionAcceptor::listen(int listener) {
    if (!apartment_watch(listener, [this, listener](short) { on_listener(listener); }))
        return false;
    start_stall_checks();
    return true;
}

void ConnectionAcceptor::stop_listening(int listener) {
    apartment_unwatch(listener);
    if (paused_listener_ == listener)
        paused_listener_ = -1;
}

void ConnectionAcceptor::on_listener(int listener) {
    if (!reserve_)
        reserve_ = open_reserve();
    unique_fd fd{::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
    if (!fd) {
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            refuse_pending(listener);
        return;
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    // Only the user's own processes may activate or call.
    if (::getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        peer.uid != ::getuid())
        return;
    int raw = fd.get();
    connections_[raw] = std::make_unique<ServerConnection>(std::move(fd), &lookup_class);
    apartment_watch(raw, [this, raw](short revents) { on_connection(raw, revents); });
}

// The client of a connection we cannot keep gets its activation's answer at once.
void ConnectionAcceptor::refuse_pending(int listener) {
    reserve_.reset();
    unique_fd fd{::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)};
    bool answered = static_cast<bool>(fd);
    if (fd) {
        wire::Writer reply;
        reply.put<HRESULT>(HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES));
        send_message(fd.get(), reply.bytes());
        fd.reset();
    }
    reserve_ = open_reserve();
    // Trying again at once would only spin: rest until a connection makes progress.
    if (!answered || !reserve_) {
        apartment_unwatch(listener);
        paused_listener_ = listener;
    }
}

void ConnectionAcceptor::resume_listener() {
    if (paused_listener_ < 0)
        return;
    int listener = std::exchange(paused_listener_, -1);
    apartment_watch(listener, [this, listener](short) { on_listener(listener); });
}

void ConnectionAcceptor::on_connection(int fd, short revents) {
    auto it = connections_.find(fd);
    if (it == connections_.end())
        return;
    if (!it->second->on_ready(revents))
        close_connection(it);
    resume_listener();
}

void ConnectionAcceptor::close_connection(Connections::iterator it) {
    apartment_unwatch(it->first);
    auto finished = std::move(it->second);
    connections_.erase(it);
    finished.reset();  // releases what the client held; may end the server
    if (!reserve_)
        reserve_ = open_reserve();
}

void ConnectionAcceptor::start_stall_checks() {
    if (stall_timer_ != 0)
        return;
    // The environment may shorten the limit (tests).
    stall_limit_ = milliseconds_setting("COMRT_STALLED_SENDER_MS", std::chrono::seconds(10));
    auto tick = std::chrono::duration_cast<std::chrono::milliseconds>(stall_limit_ / 8);
    last_stall_check_ = std::chrono::steady_clock::now();
    stall_timer_ = SetTimer(nullptr, 0, static_cast<UINT>(std::max<long long>(tick.count(), 10)),
                            &on_stall_timer);
}

void ConnectionAcceptor::on_stall_timer(HWND, UINT, UINT_PTR, DWORD) {
    process_state().acceptor.check_stalled_senders();
}

void ConnectionAcceptor::check_stalled_senders() {
    auto now = std::chrono::steady_clock::now();
    auto since_last = now - last_stall_check_;
    last_stall_check_ = now;
    if (since_last > stall_limit_ / 2) {
        // The loop was busy (a long call): nobody's bytes were read meanwhile, so nobody
        // stalled.
        for (auto& [fd, connection] : connections_)
            connection->excuse_until(now);
        return;
    }
    bool closed = false;
    for (auto it = connections_.begin(); it != connections_.end();) {
        auto next = std::next(it);
        if (it->second->stalled_before(now - stall_limit_)) {
            close_connection(it);
            closed = true;
        }
        it = next;
    }
    if (closed)
        resume_listener();
}

}  // namespace comrt

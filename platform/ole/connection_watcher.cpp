#include "platform/ole/connection_watcher.h"

#include <sys/epoll.h>

#include <cerrno>
#include <new>
#include <system_error>
#include <thread>

namespace comrt {

std::uint64_t ConnectionWatcher::watch(int fd, const std::stop_source& source) {
    std::lock_guard guard(lock_);
    if (!start())
        return 0;
    const std::uint64_t id = next_id_++;
    try {
        watched_.emplace(id, source);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    epoll_event event{};
    event.events = EPOLLRDHUP | EPOLLONESHOT;
    event.data.u64 = id;
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0) {
        watched_.erase(id);
        return 0;
    }
    return id;
}

void ConnectionWatcher::unwatch(int fd, std::uint64_t id) noexcept {
    std::lock_guard guard(lock_);
    watched_.erase(id);
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
}

bool ConnectionWatcher::start() {
    if (started_)
        return true;
    unique_fd epoll{::epoll_create1(EPOLL_CLOEXEC)};
    if (!epoll)
        return false;
    epoll_ = std::move(epoll);
    try {
        std::thread([this] { run(); }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    started_ = true;
    return true;
}

void ConnectionWatcher::run() noexcept {
    epoll_event events[16];
    for (;;) {
        int ready = ::epoll_wait(epoll_.get(), events, 16, -1);
        if (ready < 0 && errno != EINTR)
            return;
        for (int i = 0; i < ready; ++i) {
            std::stop_source fired;
            {
                std::lock_guard guard(lock_);
                auto it = watched_.find(events[i].data.u64);
                if (it == watched_.end())
                    continue;  // the call ended meanwhile
                fired = it->second;
            }
            // Outside the lock: stop callbacks run here and may end the watch.
            fired.request_stop();
        }
    }
}

}  // namespace comrt

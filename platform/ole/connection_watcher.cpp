#include "platform/ole/connection_watcher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <system_error>

namespace comrt {

ConnectionWatcher::~ConnectionWatcher() {
    if (!thread_.joinable())
        return;
    stopping_.store(true);
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake_.get(), &one, sizeof one);
    thread_.join();
}

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
    if (thread_.joinable())
        return true;
    unique_fd epoll{::epoll_create1(EPOLL_CLOEXEC)};
    unique_fd wake{::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
    if (!epoll || !wake)
        return false;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = kWakeId;
    if (::epoll_ctl(epoll.get(), EPOLL_CTL_ADD, wake.get(), &event) != 0)
        return false;
    epoll_ = std::move(epoll);
    wake_ = std::move(wake);
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ConnectionWatcher::run() noexcept {
    epoll_event events[16];
    while (!stopping_.load()) {
        int ready = ::epoll_wait(epoll_.get(), events, 16, -1);
        if (ready < 0 && errno != EINTR)
            return;
        for (int i = 0; i < ready; ++i) {
            if (events[i].data.u64 == kWakeId)
                continue;  // only the destructor wakes the thread
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

#include "platform/ole/call_cancellation.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>

#include "platform/base/hresult.h"
#include "platform/base/unique_fd.h"

namespace comrt {
namespace {

// One thread for the whole process watches the connections of the calls in progress. It
// starts with the first call and asks for nothing but a peer's close (EPOLLRDHUP; hang-ups and
// errors always count), so a live caller costs no wake-ups. Each watch has its own id in the
// event data: an event that arrives after its call ended finds no id and is ignored, even
// when the descriptor number has been reused since.
class ConnectionWatcher {
  public:
    ~ConnectionWatcher() {
        if (!thread_.joinable())
            return;
        stopping_.store(true);
        std::uint64_t one = 1;
        [[maybe_unused]] auto ignored = ::write(wake_.get(), &one, sizeof one);
        thread_.join();
    }

    // The id of the watch, 0 when the connection cannot be watched.
    std::uint64_t watch(int fd, const std::stop_source& source) {
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

    void unwatch(int fd, std::uint64_t id) noexcept {
        std::lock_guard guard(lock_);
        watched_.erase(id);
        ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
    }

  private:
    static constexpr std::uint64_t kWakeId = 0;

    // Under lock_.
    bool start() {
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

    void run() noexcept {
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

    std::mutex lock_;  // guards watched_, next_id_ and the start of the thread
    std::map<std::uint64_t, std::stop_source> watched_;
    std::uint64_t next_id_ = kWakeId + 1;
    unique_fd epoll_;  // set once, before the thread starts
    unique_fd wake_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

ConnectionWatcher& watcher() {
    static ConnectionWatcher instance;
    return instance;
}

thread_local std::stop_token t_current_call;

}  // namespace

CallCancellation::CallCancellation(int fd)
    : watch_id_(watcher().watch(fd, source_)), fd_(fd), previous_(std::move(t_current_call)) {
    t_current_call = source_.get_token();
}

CallCancellation::~CallCancellation() {
    t_current_call = std::move(previous_);
    if (watch_id_ != 0)
        watcher().unwatch(fd_, watch_id_);
}

std::stop_token current_call_stop_token() noexcept {
    return t_current_call;
}

}  // namespace comrt

HRESULT CoTestCancel() {
    return comrt::t_current_call.stop_requested() ? RPC_E_CALL_CANCELED : S_OK;
}

#pragma once
// One thread for the whole process watches the connections of the calls in progress. It
// starts with the first call and asks for nothing but a peer's close (EPOLLRDHUP; hang-ups and
// errors always count), so a live caller costs no wake-ups. Each watch has its own id in the
// event data: an event that arrives after its call ended finds no id and is ignored, even
// when the descriptor number has been reused since. The thread runs for the rest of the
// process, as the watcher lives in the process state.
#include <cstdint>
#include <map>
#include <mutex>
#include <stop_token>

#include "platform/base/unique_fd.h"

namespace comrt {

class ConnectionWatcher {
  public:
    ConnectionWatcher() = default;
    ConnectionWatcher(const ConnectionWatcher&) = delete;
    ConnectionWatcher& operator=(const ConnectionWatcher&) = delete;

    // Fires `source` when the peer of `fd` closes. The id of the watch, 0 when the connection
    // cannot be watched.
    std::uint64_t watch(int fd, const std::stop_source& source);
    void unwatch(int fd, std::uint64_t id) noexcept;

  private:
    bool start();  // under lock_
    void run() noexcept;

    std::mutex lock_;  // guards watched_, next_id_ and the start of the thread
    std::map<std::uint64_t, std::stop_source> watched_;
    std::uint64_t next_id_ = 1;
    unique_fd epoll_;  // set once, before the thread starts
    bool started_ = false;
};

}  // namespace comrt

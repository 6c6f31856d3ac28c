#pragma once
// The posted messages of one apartment's thread, and the process's table of them by thread id,
// through which any thread posts (PostThreadMessageA). The queue's event descriptor wakes the
// thread's message loop.
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/base/unique_fd.h"
#include "platform/ole/apartment.h"

namespace comrt {

class MessageQueue {
  public:
    MessageQueue();
    // False when the wake-up descriptor could not be made.
    explicit operator bool() const { return static_cast<bool>(wake_); }
    int wake_fd() const { return wake_.get(); }

    void post(const MSG& msg);
    // The first message in [min, max] (any with both 0; WM_QUIT always), taken off the queue.
    bool pop(UINT min, UINT max, MSG& out);
    // Consumes the wake-ups, once the loop has woken.
    void drain_wake();

  private:
    std::mutex lock_;
    std::deque<MSG> messages_;
    unique_fd wake_;
};

class ThreadQueues {
  public:
    void add(DWORD thread, std::shared_ptr<MessageQueue> queue);
    void remove(DWORD thread);
    // Null when the thread has no apartment.
    std::shared_ptr<MessageQueue> find(DWORD thread);

  private:
    std::mutex lock_;
    std::map<DWORD, std::shared_ptr<MessageQueue>> queues_;
};

}  // namespace comrt

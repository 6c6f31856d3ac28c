#include "platform/ole/message_queue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace comrt {

MessageQueue::MessageQueue() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void MessageQueue::post(const MSG& msg) {
    {
        std::lock_guard guard(lock_);
        messages_.push_back(msg);
    }
    std::uint64_t one = 1;
    [[maybe_unused]] auto ignored = ::write(wake_.get(), &one, sizeof one);
}

bool MessageQueue::pop(UINT min, UINT max, MSG& out) {
    std::lock_guard guard(lock_);
    bool any = min == 0 && max == 0;
    for (auto it = messages_.begin(); it != messages_.end(); ++it) {
        if (any || (it->message >= min && it->message <= max) || it->message == WM_QUIT) {
            out = *it;
            messages_.erase(it);
            return true;
        }
    }
    return false;
}

void MessageQueue::drain_wake() {
    std::uint64_t count;
    while (::read(wake_.get(), &count, sizeof count) > 0) {
    }
}

void ThreadQueues::add(DWORD thread, std::shared_ptr<MessageQueue> queue) {
    std::lock_guard guard(lock_);
    queues_[thread] = std::move(queue);
}

void ThreadQueues::remove(DWORD thread) {
    std::lock_guard guard(lock_);
    queues_.erase(thread);
}

std::shared_ptr<MessageQueue> ThreadQueues::find(DWORD thread) {
    std::lock_guard guard(lock_);
    auto it = queues_.find(thread);
    return it == queues_.end() ? nullptr : it->second;
}

}  // namespace comrt

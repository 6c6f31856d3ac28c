#include "platform/ole/message_budget.h"

#include <malloc.h>

#include <algorithm>
#include <utility>

#include "platform/ole/process_state.h"

namespace comrt {
namespace {

// Bursts smaller than this are left to malloc's own reuse.
constexpr std::size_t trim_after = std::size_t{4} << 20;

void return_free_memory() noexcept {
    ::malloc_trim(0);
}

}  // namespace

MessageBudget::Share::Share(Share&& other) noexcept
    : budget_(std::exchange(other.budget_, nullptr)), bytes_(std::exchange(other.bytes_, 0)) {}

MessageBudget::Share& MessageBudget::Share::operator=(Share&& other) noexcept {
    if (this != &other) {
        reset();
        budget_ = std::exchange(other.budget_, nullptr);
        bytes_ = std::exchange(other.bytes_, 0);
    }
    return *this;
}

void MessageBudget::Share::reset() {
    if (MessageBudget* budget = std::exchange(budget_, nullptr))
        budget->give_back(std::exchange(bytes_, 0));
}

MessageBudget::Waiter::~Waiter() {
    if (queued_on_ != nullptr)
        queued_on_->unlink(*this);
}

MessageBudget::Share MessageBudget::claim(std::size_t bytes, Waiter& waiter) {
    if (bytes <= limit_ - used_) {
        used_ += bytes;
        peak_ = std::max(peak_, used_);
        return Share(this, bytes);
    }
    if (waiter.queued_on_ == nullptr) {
        waiter.queued_on_ = this;
        waiter.next_ = first_;
        waiter.prev_ = nullptr;
        if (first_ != nullptr)
            first_->prev_ = &waiter;
        first_ = &waiter;
    }
    return Share();
}

void MessageBudget::give_back(std::size_t bytes) noexcept {
    used_ -= bytes;
    if (used_ == 0 && peak_ >= trim_after) {
        // The storage of a burst of messages goes back to the system, not only to malloc.
        peak_ = 0;
        return_free_memory();
    }
    // Everyone waiting tries again; those that still do not fit queue up anew.
    while (first_ != nullptr) {
        Waiter& waiter = *first_;
        unlink(waiter);
        if (waiter.wake_)
            waiter.wake_();
    }
}

void MessageBudget::unlink(Waiter& waiter) noexcept {
    if (waiter.prev_ != nullptr)
        waiter.prev_->next_ = waiter.next_;
    else
        first_ = waiter.next_;
    if (waiter.next_ != nullptr)
        waiter.next_->prev_ = waiter.prev_;
    waiter.next_ = waiter.prev_ = nullptr;
    waiter.queued_on_ = nullptr;
}

MessageBudget& MessageBudget::incoming() {
    return process_state().incoming_messages;
}

}  // namespace comrt

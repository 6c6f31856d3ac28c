#include "platform/ole/message_budget.h"

#include <type_traits>
#include <utility>

#include "platform/ole/wire.h"

namespace comrt {
namespace {

static_assert(std::is_trivially_destructible_v<MessageBudget>);
constinit MessageBudget g_incoming{wire::max_message};

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
    return g_incoming;
}

}  // namespace comrt

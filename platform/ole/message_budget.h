#pragma once
// The bytes that unfinished incoming messages may hold in one process, all connections
// together. A connection claims a message's whole length when its header has arrived and
// reads the body only with that claim, so what peers can make the process hold does not grow
// with the number of connections. A claim that does not fit now waits until bytes are given
// back. When the last claim of a burst is given back, the freed storage is returned to the
// system. Used on the apartment's thread only.
#include <cstddef>
#include <functional>

namespace comrt {

class MessageBudget {
  public:
    // One holder's bytes of the budget, given back when it ends.
    class Share {
      public:
        Share() = default;
        Share(Share&& other) noexcept;
        Share& operator=(Share&& other) noexcept;
        Share(const Share&) = delete;
        Share& operator=(const Share&) = delete;
        ~Share() { reset(); }
        explicit operator bool() const { return budget_ != nullptr; }
        void reset();

      private:
        friend class MessageBudget;
        Share(MessageBudget* budget, std::size_t bytes) : budget_(budget), bytes_(bytes) {}
        MessageBudget* budget_ = nullptr;
        std::size_t bytes_ = 0;
    };

    // Someone whose claim did not fit; `wake` runs once when bytes are given back. It only
    // arranges for the claim to be made again later, never claims itself.
    class Waiter {
      public:
        explicit Waiter(std::function<void()> wake) : wake_(std::move(wake)) {}
        Waiter(const Waiter&) = delete;
        Waiter& operator=(const Waiter&) = delete;
        ~Waiter();

      private:
        friend class MessageBudget;
        std::function<void()> wake_;
        MessageBudget* queued_on_ = nullptr;
        Waiter* next_ = nullptr;  // in the budget's queue
        Waiter* prev_ = nullptr;
    };

    explicit constexpr MessageBudget(std::size_t limit) : limit_(limit) {}
    MessageBudget(const MessageBudget&) = delete;
    MessageBudget& operator=(const MessageBudget&) = delete;

    // `bytes` of the budget; an empty share when they are not free now, and then `waiter`
    // is woken when some are given back (it claims again).
    Share claim(std::size_t bytes, Waiter& waiter);
    std::size_t in_use() const { return used_; }

    // The budget of the messages that clients send to this process: one largest message and
    // wire::budget_headroom.
    static MessageBudget& incoming();

  private:
    void give_back(std::size_t bytes) noexcept;
    void unlink(Waiter& waiter) noexcept;

    std::size_t limit_;
    std::size_t used_ = 0;
    std::size_t peak_ = 0;  // since the budget was last wholly free
    Waiter* first_ = nullptr;
};

}  // namespace comrt

#pragma once
// One connection between a client process and a server: whole, length-prefixed messages over
// a Unix stream socket, none longer than wire::max_message.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/unique_fd.h"
#include "platform/ole/message_budget.h"

namespace comrt {

// Writes a 4-byte length and the message; false when the peer is gone or the message is
// longer than the limit.
bool send_message(int fd, const std::vector<unsigned char>& message);
// Blocks until a whole message arrived; nullopt when the peer closed, failed or announced a
// length beyond the limit. Storage grows with what arrives, not with what is announced.
std::optional<std::vector<unsigned char>> receive_message(int fd);

// Collects messages from a non-blocking socket as their bytes arrive. Reads no further than
// the end of the current message, and hands each message over with its storage, so nothing
// is kept between messages.
class MessageAssembler {
  public:
    enum class Status { more, message, closed, malformed, waiting };
    // Message bodies are read only with a claim on `budget` (none when null); while it does
    // not fit, read_from says `waiting` and `on_budget` runs once bytes are given back.
    MessageAssembler(MessageBudget* budget, std::function<void()> on_budget);
    // Reads what the socket has; `message` is filled when Status::message.
    Status read_from(int fd, std::vector<unsigned char>& message);
    // Whether the last message read belongs to an exchange the accepting end began.
    bool accepting_side() const { return accepting_side_; }
    // True when a claim is held for a message whose last bytes arrived before `cutoff`: a
    // sender that stopped half-way, keeping others' messages from the budget.
    bool stalled_before(std::chrono::steady_clock::time_point cutoff) const;
    // Counts the time up to `now` as progress (the reader was not reading meanwhile).
    void excuse_until(std::chrono::steady_clock::time_point now);

  private:
    unsigned char header_[4] = {};
    std::size_t header_have_ = 0;
    std::uint32_t length_ = 0;
    std::vector<unsigned char> body_;
    MessageBudget* budget_;
    MessageBudget::Share share_;
    MessageBudget::Waiter waiter_;
    std::chrono::steady_clock::time_point last_progress_;
    bool accepting_side_ = false;
};

// A message written to a non-blocking socket as far as the socket takes it, the rest as it
// becomes writable again.
class OutgoingMessage {
  public:
    enum class Status { done, more, closed };
    // `accepting_side`: the message belongs to an exchange the accepting end began.
    explicit OutgoingMessage(std::vector<unsigned char> message, bool accepting_side = false);
    Status write_to(int fd);

  private:
    unsigned char header_[4];
    std::vector<unsigned char> body_;
    std::size_t sent_ = 0;  // of the header and the body together
};

// A connected stream socket to `path`, or an invalid fd with errno set.
unique_fd connect_unix(const std::string& path);

// The path of a class's socket and lock files in the runtime directory.
std::string class_endpoint_path(const std::string& runtime_dir, const std::string& clsid_text,
                                const char* suffix);

}  // namespace comrt

#pragma once
// One connection between a client process and a server: whole, length-prefixed messages over
// a Unix stream socket.
#include <optional>
#include <string>
#include <vector>

#include "platform/os/unique_fd.h"

namespace comrt {

// Writes a 4-byte length and the message; false when the peer is gone.
bool send_message(int fd, const std::vector<unsigned char>& message);
// Blocks until a whole message arrived; nullopt when the peer closed, failed or sent a length
// beyond the limit.
std::optional<std::vector<unsigned char>> receive_message(int fd);

// Collects messages from a non-blocking socket as its bytes arrive.
class MessageAssembler {
  public:
    enum class Status { more, message, closed, malformed };
    // Reads what the socket has; `message` is filled when Status::message.
    Status read_from(int fd, std::vector<unsigned char>& message);

  private:
    std::vector<unsigned char> buffer_;
};

// A connected stream socket to `path`, or an invalid fd with errno set.
unique_fd connect_unix(const std::string& path);

// The path of a class's socket and lock files in the runtime directory.
std::string class_endpoint_path(const std::string& runtime_dir, const std::string& clsid_text,
                                const char* suffix);

}  // namespace comrt

#pragma once
// The client's end of one connection to a server process. Requests on it are serialised: a
// request and its reply form one exchange.
#include <mutex>
#include <optional>
#include <vector>

#include "platform/base/unique_fd.h"

namespace comrt {

class ClientConnection {
  public:
    explicit ClientConnection(unique_fd fd) : fd_(std::move(fd)) {}

    // Sends `request` and waits for the reply, however long the server takes; nullopt when
    // the server is gone (then every later exchange fails at once too), when it sends a reply
    // longer than wire::max_message (likewise), or when `request` is that long (then nothing
    // is sent and the connection stays usable).
    std::optional<std::vector<unsigned char>> exchange(const std::vector<unsigned char>& request);
    // Sends a request that has no reply.
    void post(const std::vector<unsigned char>& request);

  private:
    std::mutex lock_;
    unique_fd fd_;
    bool broken_ = false;
};

}  // namespace comrt

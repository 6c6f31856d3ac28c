#include "platform/ole/client_connection.h"

#include "platform/ole/channel.h"
#include "platform/ole/wire.h"

namespace comrt {

std::optional<std::vector<unsigned char>> ClientConnection::exchange(
    const std::vector<unsigned char>& request) {
    std::lock_guard guard(lock_);
    if (request.size() > wire::max_message)
        return std::nullopt;  // refused before anything is sent: the connection stays usable
    if (broken_ || !send_message(fd_.get(), request)) {
        broken_ = true;
        return std::nullopt;
    }
    auto reply = receive_message(fd_.get());
    if (!reply)
        broken_ = true;
    return reply;
}

void ClientConnection::post(const std::vector<unsigned char>& request) {
    std::lock_guard guard(lock_);
    if (!broken_ && !send_message(fd_.get(), request))
        broken_ = true;
}

}  // namespace comrt

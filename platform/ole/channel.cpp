#include "platform/ole/channel.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/base/fd_io.h"
#include "platform/ole/wire.h"

namespace comrt {
namespace {

bool write_all(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = retry_on_eintr([&] { return ::send(fd, data, size, MSG_NOSIGNAL); });
        if (n < 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool read_all(int fd, unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = retry_on_eintr([&] { return ::recv(fd, data, size, 0); });
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads into the end of `body`, which is to hold `length` bytes; storage grows by what
// arrives, a chunk at a time. Returns what recv returned.
ssize_t receive_some(int fd, std::vector<unsigned char>& body, std::size_t length, int flags) {
    constexpr std::size_t chunk = 256 * 1024;
    std::size_t have = body.size();
    std::size_t want = std::min(length - have, chunk);
    body.resize(have + want);
    ssize_t n = ::recv(fd, body.data() + have, want, flags);
    int error = errno;
    body.resize(have + (n > 0 ? static_cast<std::size_t>(n) : 0));
    errno = error;
    return n;
}

}  // namespace

bool send_message(int fd, const std::vector<unsigned char>& message) {
    if (message.size() > wire::max_message)
        return false;
    auto length = static_cast<std::uint32_t>(message.size());
    unsigned char header[4];
    std::memcpy(header, &length, 4);
    if (message.size() < 4096) {  // one write for the common small message
        std::vector<unsigned char> whole(header, header + 4);
        whole.insert(whole.end(), message.begin(), message.end());
        return write_all(fd, whole.data(), whole.size());
    }
    return write_all(fd, header, 4) && write_all(fd, message.data(), message.size());
}

std::optional<std::vector<unsigned char>> receive_message(int fd) {
    unsigned char header[4];
    if (!read_all(fd, header, 4))
        return std::nullopt;
    std::uint32_t length;
    std::memcpy(&length, header, 4);
    if (length > wire::max_message)
        return std::nullopt;
    std::vector<unsigned char> message;
    message.reserve(length);  // address space only: pages are touched as bytes arrive
    while (message.size() < length) {
        ssize_t n = receive_some(fd, message, length, 0);
        if (n == 0)
            return std::nullopt;
        if (n < 0 && errno != EINTR)
            return std::nullopt;
    }
    return message;
}

MessageAssembler::MessageAssembler(MessageBudget* budget, std::function<void()> on_budget)
    : budget_(budget), waiter_(std::move(on_budget)) {}

MessageAssembler::Status MessageAssembler::read_from(int fd, std::vector<unsigned char>& message) {
    // What a failed or empty read means; nullopt when it is worth reading again.
    auto after = [](ssize_t n) -> std::optional<Status> {
        if (n == 0)
            return Status::closed;
        if (n > 0 || errno == EINTR)
            return std::nullopt;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Status::more;
        return Status::closed;
    };
    while (header_have_ < 4) {
        ssize_t n = ::recv(fd, header_ + header_have_, 4 - header_have_, MSG_DONTWAIT);
        if (auto status = after(n))
            return *status;
        if (n > 0)
            header_have_ += static_cast<std::size_t>(n);
        if (header_have_ == 4) {
            std::memcpy(&length_, header_, 4);
            accepting_side_ = (length_ & wire::accepting_side_exchange) != 0;
            length_ &= ~wire::accepting_side_exchange;
            if (length_ > wire::max_message)
                return Status::malformed;  // refused before any of it is stored
        }
    }
    if (length_ > 0 && budget_ != nullptr && !share_) {
        share_ = budget_->claim(length_, waiter_);
        if (!share_)
            return Status::waiting;  // its bytes stay in the socket meanwhile
        last_progress_ = std::chrono::steady_clock::now();
    }
    if (body_.capacity() < length_)
        body_.reserve(length_);  // address space only: pages are touched as bytes arrive
    while (body_.size() < length_) {
        ssize_t n = receive_some(fd, body_, length_, MSG_DONTWAIT);
        if (auto status = after(n))
            return *status;
        if (n > 0)
            last_progress_ = std::chrono::steady_clock::now();
    }
    message = std::exchange(body_, {});
    header_have_ = 0;
    length_ = 0;
    share_.reset();
    return Status::message;
}

bool MessageAssembler::stalled_before(std::chrono::steady_clock::time_point cutoff) const {
    return share_ && last_progress_ < cutoff;
}

void MessageAssembler::excuse_until(std::chrono::steady_clock::time_point now) {
    if (share_)
        last_progress_ = now;
}

OutgoingMessage::OutgoingMessage(std::vector<unsigned char> message, bool accepting_side)
    : body_(std::move(message)) {
    auto length = static_cast<std::uint32_t>(body_.size());
    if (accepting_side)
        length |= wire::accepting_side_exchange;
    std::memcpy(header_, &length, 4);
}

OutgoingMessage::Status OutgoingMessage::write_to(int fd) {
    for (;;) {
        if (sent_ == 4 + body_.size()) {
            body_ = {};  // the storage goes as soon as the peer has it all
            sent_ = 4;
            return Status::done;
        }
        iovec parts[2];
        int count = 0;
        if (sent_ < 4)
            parts[count++] = iovec{header_ + sent_, 4 - sent_};
        std::size_t body_sent = sent_ < 4 ? 0 : sent_ - 4;
        if (body_sent < body_.size())
            parts[count++] = iovec{body_.data() + body_sent, body_.size() - body_sent};
        msghdr msg{};
        msg.msg_iov = parts;
        msg.msg_iovlen = static_cast<std::size_t>(count);
        ssize_t n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return Status::more;
            return Status::closed;
        }
        sent_ += static_cast<std::size_t>(n);
    }
}

unique_fd connect_unix(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return unique_fd();
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    unique_fd fd{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (!fd)
        return fd;
    const int rc = retry_on_eintr(
        [&] { return ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr); });
    if (rc != 0)
        fd.reset();
    return fd;
}

std::string class_endpoint_path(const std::string& runtime_dir, const std::string& clsid_text,
                                const char* suffix) {
    return runtime_dir + "/class-" + clsid_text + suffix;
}

}  // namespace comrt

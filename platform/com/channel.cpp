#include "platform/com/channel.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/com/wire.h"

namespace comrt {
namespace {

bool write_all(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool read_all(int fd, unsigned char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::recv(fd, data, size, 0);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
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
    std::vector<unsigned char> message(length);
    if (!read_all(fd, message.data(), length))
        return std::nullopt;
    return message;
}

MessageAssembler::Status MessageAssembler::read_from(int fd, std::vector<unsigned char>& message) {
    // A whole message may already be buffered from an earlier read.
    auto take = [&]() -> std::optional<Status> {
        if (buffer_.size() < 4)
            return std::nullopt;
        std::uint32_t length;
        std::memcpy(&length, buffer_.data(), 4);
        if (length > wire::max_message)
            return Status::malformed;
        if (buffer_.size() - 4 < length)
            return std::nullopt;
        message.assign(buffer_.begin() + 4, buffer_.begin() + 4 + length);
        buffer_.erase(buffer_.begin(), buffer_.begin() + 4 + length);
        return Status::message;
    };
    if (auto status = take())
        return *status;
    unsigned char chunk[65536];
    for (;;) {
        ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n == 0)
            return Status::closed;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return Status::more;
            return Status::closed;
        }
        buffer_.insert(buffer_.end(), chunk, chunk + n);
        if (auto status = take())
            return *status;
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
    int rc;
    do {
        rc = ::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0)
        fd.reset();
    return fd;
}

std::string class_endpoint_path(const std::string& runtime_dir, const std::string& clsid_text,
                                const char* suffix) {
    return runtime_dir + "/class-" + clsid_text + suffix;
}

}  // namespace comrt

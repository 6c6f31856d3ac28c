#include "platform/base/fd_io.h"

#include <unistd.h>

namespace comrt {

int read_to_end(int fd, std::string& out) {
    // Files of /proc report a size of 0: read until a read returns nothing.
    char buffer[16384];
    for (;;) {
        const ssize_t got = retry_on_eintr([&] { return ::read(fd, buffer, sizeof buffer); });
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        out.append(buffer, static_cast<std::size_t>(got));
    }
}

bool write_all(int fd, const void* data, std::size_t size) {
    const auto* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = retry_on_eintr([&] { return ::write(fd, next, size); });
        if (n <= 0)
            return false;
        next += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace comrt

#pragma once
// Blocking I/O on a descriptor that a signal does not break: a call that a signal interrupted
// (EINTR) is made again, since nothing failed; a short read or write goes on where it stopped.
#include <errno.h>

#include <cstddef>
#include <string>

namespace comrt {

// Makes `call` (a system call returning -1 with errno on failure) until it ends other than
// with EINTR; its last result.
template <class Call>
auto retry_on_eintr(Call call) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

// Appends what `fd` holds from its position to its end to `out`; 0, or the errno of the read
// that failed (`out` then holds what came before it).
int read_to_end(int fd, std::string& out);

// Writes all of `size` bytes from `data`; false when a write fails (errno tells why) or
// writes nothing.
bool write_all(int fd, const void* data, std::size_t size);

}  // namespace comrt

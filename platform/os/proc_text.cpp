#include "platform/os/proc_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>

#include "platform/base/fd_io.h"
#include "platform/base/unique_fd.h"

namespace comrt {

proc_text read_proc_text(const char* path) {
    proc_text result;
    unique_fd fd(::open(path, O_RDONLY | O_CLOEXEC));
    if (!fd) {
        result.error = errno;
        return result;
    }
    result.error = read_to_end(fd.get(), result.text);
    if (result.error != 0)
        result.text.clear();
    return result;
}

HRESULT hresult_from_errno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        case EACCES:
        case EPERM:
            return E_ACCESSDENIED;
        case ENOMEM:
            return E_OUTOFMEMORY;
        default:
            return E_FAIL;
    }
}

std::optional<proc_field> split_proc_field(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    std::string_view key = line.substr(0, colon);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
        key.remove_suffix(1);
    std::string_view value = line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ')
        value.remove_prefix(1);
    return proc_field{key, value};
}

std::optional<std::uint64_t> parse_proc_number(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

}  // namespace comrt

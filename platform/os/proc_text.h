#pragma once
// Reading the kernel's text files under /proc, and the "key: value" lines they consist of.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/base/hresult.h"

namespace comrt {

// The whole file, or the errno of the failed open or read.
struct proc_text {
    std::string text;
    int error = 0;
};
proc_text read_proc_text(const char* path);
// The HRESULT a Windows caller would see for a failed read: file not found, access denied,
// out of memory, else E_FAIL.
HRESULT hresult_from_errno(int error);

// One "key<blanks>: value" line split at its first colon; the key loses its trailing
// blanks and the value loses the single blank after the colon, nothing more.
struct proc_field {
    std::string_view key;
    std::string_view value;
};
std::optional<proc_field> split_proc_field(std::string_view line);

// A whole decimal number without sign or blanks (trailing blanks allowed), or nullopt.
std::optional<std::uint64_t> parse_proc_number(std::string_view text);

}  // namespace comrt

#include "platform/base/bstr.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t prefix_bytes = sizeof(std::uint32_t);
// The byte-length prefix is 32 bits; leave room for the prefix and the terminator.
constexpr std::size_t max_bytes = 0xFFFFFFFFu - prefix_bytes - sizeof(OLECHAR) - 1;

BSTR alloc_bytes(const void* data, std::size_t bytes) {
    if (bytes > max_bytes)
        return nullptr;
    // Room for a terminating unit even after an odd byte count.
    auto* block =
        static_cast<unsigned char*>(std::malloc(prefix_bytes + bytes + 2 * sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    auto length = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &length, prefix_bytes);
    unsigned char* body = block + prefix_bytes;
    if (data != nullptr)
        std::memcpy(body, data, bytes);
    else
        std::memset(body, 0, bytes);
    std::memset(body + bytes, 0, 2 * sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(body);
}

unsigned char* block_of(BSTR bstr) {
    return reinterpret_cast<unsigned char*>(bstr) - prefix_bytes;
}

}  // namespace

BSTR SysAllocString(const OLECHAR* psz) {
    if (psz == nullptr)
        return nullptr;
    std::size_t n = 0;
    while (psz[n] != 0)
        ++n;
    if (n > max_bytes / sizeof(OLECHAR))
        return nullptr;
    return alloc_bytes(psz, n * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* pch, UINT ui) {
    if (ui > max_bytes / sizeof(OLECHAR))
        return nullptr;
    return alloc_bytes(pch, std::size_t{ui} * sizeof(OLECHAR));
}

UINT SysStringByteLen(BSTR bstr) {
    if (bstr == nullptr)
        return 0;
    std::uint32_t length;
    std::memcpy(&length, block_of(bstr), prefix_bytes);
    return length;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

void SysFreeString(BSTR bstr) {
    if (bstr != nullptr)
        std::free(block_of(bstr));
}

void* CoTaskMemAlloc(std::size_t cb) {
    return std::malloc(cb == 0 ? 1 : cb);
}

void CoTaskMemFree(void* pv) {
    std::free(pv);
}

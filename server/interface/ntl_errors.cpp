#include "server/interface/ntl_errors.h"

#include <NTL/tools.h>

#include <cstring>
#include <new>

namespace {

[[noreturn]] void raise_ntl_error(const char* message) {
    if (message != nullptr && std::strcmp(message, "out of memory") == 0)
        throw std::bad_alloc();
    throw NtlError(message != nullptr ? message : "NTL error");
}

}  // namespace

void UseNtlExceptions() noexcept {
    NTL::ErrorMsgCallback = &raise_ntl_error;
}

#pragma once
// Debian's NTL is built without NTL_EXCEPTIONS: an NTL error (a bad conversion, a division by
// zero, memory exhaustion) would print and abort the whole server. The library calls a
// per-thread message hook first; this installs one that raises the error as a standard
// exception instead, so a failing method reports the text and the server lives on.
#include <stdexcept>

class NtlError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Idempotent; must run on every thread that enters NTL (the method frame and the worker
// pool do it).
void UseNtlExceptions() noexcept;

#pragma once
// The frame every IPrime method body runs in: failures raised in the body become COM error
// information and an HRESULT here, and nowhere else. The out-pointer checks and the direct
// argument checks, which differ per method, are made by the method before it enters.
#include <utility>

#include "platform/win32.h"
#include "server/interface/ntl_errors.h"
#include "server/interface/service_error.h"

// Makes `text` (8-bit, ANSI code page) the calling thread's error information, with the
// ProgID of Prime as its source when the class is registered. Returns DISP_E_EXCEPTION;
// E_POINTER for a null text and E_OUTOFMEMORY when the text cannot be converted.
HRESULT ReportError(const char* text) noexcept;

// Inside a catch block: reports the exception being handled, by its kind. A cancelled call
// (CallCancelled) gives RPC_E_CALL_CANCELED and no error information; one cancelled by a
// handler of the Progress event (CallCancelledByEvent) E_ABORT with its text.
HRESULT ReportCurrentException() noexcept;

template <class Body>
HRESULT MethodFrame(Body&& body) noexcept {
    UseNtlExceptions();
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return ReportCurrentException();
    }
}

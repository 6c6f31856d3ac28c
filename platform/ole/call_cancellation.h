#pragma once
// Cancellation of incoming calls whose caller has gone. While the apartment thread serves a
// call, a runtime thread watches the caller's connection; when the peer closes it (exit,
// SIGKILL, Ctrl-C) the call's stop source fires. The object reads the stop token of the call
// running on its thread and ends early; the runtime then sends nothing and closes the
// connection as on any client exit.
#include <cstdint>
#include <stop_token>

#include "platform/base/types.h"

namespace comrt {

// One incoming call on the calling thread, from its start to its end: watches `fd` (the
// caller's connection) and makes the call's token the thread's current one. Scopes nest; the
// previous token is current again when this one ends.
class CallCancellation {
  public:
    explicit CallCancellation(int fd);
    ~CallCancellation();
    CallCancellation(const CallCancellation&) = delete;
    CallCancellation& operator=(const CallCancellation&) = delete;

    // True once the caller has gone.
    bool cancelled() const noexcept { return source_.stop_requested(); }
    std::stop_token token() const noexcept { return source_.get_token(); }

  private:
    std::stop_source source_;
    std::uint64_t watch_id_;  // 0: not watched (no watcher thread could be started)
    int fd_;
    std::stop_token previous_;
};

// The token of the call being served on this thread; a token that never fires outside one.
std::stop_token current_call_stop_token() noexcept;

}  // namespace comrt

// RPC_E_CALL_CANCELED when the call being served on this thread has been cancelled, S_OK
// otherwise (also outside a call).
HRESULT CoTestCancel();

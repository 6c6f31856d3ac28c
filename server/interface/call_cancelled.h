#pragma once
// CallCancelled: a method body ends early because its caller has gone. The engine checks a
// plain std::stop_token at its cancellation points and raises this; the method frame turns
// it into RPC_E_CALL_CANCELED without error information (nobody is left to read any).
// Deliberately not a std::exception, so no handler mistakes it for a failure with a text.
#include <stop_token>

class CallCancelled {};

// The call's caller asked for the end itself, through a handler of its Progress event: the
// caller is still there, so the frame answers E_ABORT with a text.
class CallCancelledByEvent {};

inline void ThrowIfCancelled(const std::stop_token& stop) {
    if (stop.stop_requested())
        throw CallCancelled();
}

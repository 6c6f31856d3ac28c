#pragma once
// Debugger output. OutputDebugStringA sends its text, whole, as one datagram to the listener
// bound at <runtime dir>/debug; when nobody listens the text is dropped at once. Like the
// Windows debugger hand-shake, a sender waits for a listener that is behind, but for at most
// a second per text; it never writes to a file or a console.
#include <chrono>
#include <optional>
#include <string>

#include "platform/base/types.h"
#include "platform/base/unique_fd.h"

void OutputDebugStringA(LPCSTR lpOutputString);

namespace comrt {

// The one listener of the calling user's debug output (`comrt debug`, and tests).
class DebugOutputListener {
  public:
    // Binds the socket; throws std::system_error when another listener is alive.
    DebugOutputListener();
    ~DebugOutputListener();
    DebugOutputListener(const DebugOutputListener&) = delete;
    DebugOutputListener& operator=(const DebugOutputListener&) = delete;

    // The next text sent, or nullopt when none arrives within `timeout`.
    std::optional<std::string> receive(std::chrono::milliseconds timeout);

  private:
    unique_fd socket_;
    std::string path_;
};

}  // namespace comrt

#pragma once
// Where one registered class is reachable from other processes: its socket file, the listener
// behind it (watched by the registering apartment's loop), and the server lock that makes
// this process the user's one server of the class.
#include <string>

#include "platform/base/guid.h"
#include "platform/base/types.h"
#include "platform/base/unique_fd.h"

namespace comrt {

class ClassEndpoint {
  public:
    ClassEndpoint() = default;
    ClassEndpoint(const ClassEndpoint&) = delete;
    ClassEndpoint& operator=(const ClassEndpoint&) = delete;

    bool published() const { return published_; }
    // Takes the server lock, binds the socket and watches it on the calling apartment.
    // E_ACCESSDENIED (with error information naming the directory) when the runtime directory
    // is not usable; CO_E_SERVER_EXEC_FAILURE when another server keeps the lock.
    HRESULT publish(REFCLSID clsid);
    // The one way out, from any thread: the socket file goes first, so no new client finds
    // it; then the listener, so clients still in its backlog are hung up on and look for the
    // next server; then the lock, so that server may start at once. Only the listener's own
    // apartment may stop watching it: elsewhere it stays open until then, and what it accepts
    // is refused.
    void withdraw();

  private:
    // Closes a listener left open by a withdrawal from another thread; false when this thread
    // cannot, because another apartment still watches it.
    bool close_listener();

    bool published_ = false;
    unique_fd listener_;
    unique_fd server_lock_;
    std::string socket_path_;
    bool linked_ = false;  // our socket file is in place; once unlinked, the path may be another
                           // server's
    DWORD thread_ = 0;     // the apartment whose loop watches the listener
};

}  // namespace comrt

#pragma once
// The server's side of its clients' connections: accepts them on the classes' listeners (only
// the user's own processes), keeps one ServerConnection per client, and closes those whose
// client stalled half-way through a message. Used on the listeners' apartment thread only.
#include <chrono>
#include <map>
#include <memory>

#include "platform/base/unique_fd.h"
#include "platform/ole/apartment.h"
#include "platform/ole/server_connection.h"

namespace comrt {

class ConnectionAcceptor {
  public:
    // Accepts on `listener` from the calling apartment's loop; false outside an apartment.
    bool listen(int listener);
    void stop_listening(int listener);

  private:
    using Connections = std::map<int, std::unique_ptr<ServerConnection>>;

    void on_listener(int listener);
    void refuse_pending(int listener);
    void resume_listener();
    void on_connection(int fd, short revents);
    void close_connection(Connections::iterator it);
    void start_stall_checks();
    void check_stalled_senders();
    static void on_stall_timer(HWND, UINT, UINT_PTR, DWORD);

    Connections connections_;
    // A spare descriptor, given up for a moment to refuse a client cleanly when the process
    // has none left; without it the pending client would wait forever and the loop would
    // spin on it.
    unique_fd reserve_;
    // The listener no longer watched because a pending client could not be answered; watched
    // again when a connection makes progress (and may have given back its descriptor).
    int paused_listener_ = -1;
    // A client that stops half-way through a message keeps bytes of the budget from everyone
    // else; after stall_limit_ without progress it is treated as gone.
    UINT_PTR stall_timer_ = 0;
    std::chrono::milliseconds stall_limit_{};
    std::chrono::steady_clock::time_point last_stall_check_;
};

}  // namespace comrt

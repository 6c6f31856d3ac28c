#pragma once
// The client's end of one connection to a server process: the connecting side of a
// Connection. Its exchanges wait as long as the server's call runs, serving the server's
// callbacks meanwhile; the objects the client passes in calls live in its stub manager.
#include "platform/ole/connection.h"

namespace comrt {

class ClientConnection : public Connection {
  public:
    explicit ClientConnection(unique_fd fd) : Connection(std::move(fd), Side::connecting) {}
};

}  // namespace comrt

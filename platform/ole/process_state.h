#pragma once
// Everything the runtime keeps for the whole process, in one object: no other file of this
// layer keeps mutable state at namespace scope. What belongs to one thread (its apartment, the
// call it serves, its last transport failure) is thread_local beside the code that owns it,
// as Windows keeps it in the thread's own block.
#include <atomic>

#include "platform/ole/class_table.h"
#include "platform/ole/connection_acceptor.h"
#include "platform/ole/connection_watcher.h"
#include "platform/ole/interface_cache.h"
#include "platform/ole/message_budget.h"
#include "platform/ole/message_queue.h"
#include "platform/ole/wire.h"
#include "platform/ole/wire_interface.h"

namespace comrt {

struct ProxyVtable;

struct ProcessState {
    // The bytes that unfinished incoming messages may hold, all connections together: one
    // largest message and the headroom.
    MessageBudget incoming_messages{std::size_t{wire::max_message} + wire::budget_headroom};
    // Each apartment's posted messages, by thread id.
    ThreadQueues thread_queues;
    // Interface descriptions and proxy vtables, made once per interface.
    InterfaceCache<WireInterface> wire_interfaces;
    InterfaceCache<ProxyVtable> proxy_vtables;
    // The server side: the registered classes, their clients' connections, and the count of
    // what keeps the server process running (CoAddRefServerProcess).
    ClassTable classes;
    ConnectionAcceptor acceptor;
    std::atomic<ULONG> server_references{0};
    // The thread that notices callers hanging up on the calls being served.
    ConnectionWatcher connection_watcher;
};

// Made on first use and never destroyed: objects and connections that outlive main (a
// client's global proxy, a connection still open at exit) keep what they use, whatever the
// order of static destruction.
ProcessState& process_state();

}  // namespace comrt

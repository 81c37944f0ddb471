// The raw socket server: a listener, at most client_max connections with a thread each, and one
// bus shared by all of them, one transaction at a time.
#pragma once

#include <cstddef>
#include <mutex>

#include "command_line.h"
#include "connection_slots.h"

namespace gateway {

constexpr std::size_t client_max = connection_max;   // fewer while VXI-11 connections are open

// Listens as the options say and starts serving. False when the listener cannot be made; error is
// the system's code then. The bus link must be up. One server per process at a time.
bool server_start(const Options& options, int& error);

// The port the server listens on (the chosen one when the options asked for port 0).
unsigned server_port();

// Stops serving: no new connections or transactions; waits for the transaction in progress. On
// return no client thread touches the bus any more, and the caller holds nothing.
void server_stop_serving();

// Then closes the connections, waiting for their threads at most a few seconds; true when every
// one ended.
bool server_close();

// Both, then the log's writer stopped.
void server_stop();

// The lock every bus transaction is made under, raw socket and VXI-11 alike (bus_lock); a test that
// calls into the bus beside a running server takes it too.
std::mutex& server_bus_lock();

}  // namespace gateway

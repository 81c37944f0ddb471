// The web page's listener and its connections: at most web_connection_max at once, a pool of their
// own (never one of the bus connections' slots), each served by a blocking thread of its own that
// feeds the gateway's socket bytes to the HTTP parser and hands each request to handle_request.
// A new connection takes the place of the one idle longest (between two requests); while every one
// waits for its first request or for the rest of one, it is closed.
#pragma once

#include <chrono>
#include <cstddef>

#include "command_line.h"
#include "connection_slots.h"

namespace gateway::web {

constexpr std::size_t web_connection_max = 8;
// A request not complete this long after its connection opened (or after the last answer on it)
// ends the connection.
constexpr auto request_time_limit = std::chrono::seconds(10);

// Listens on the options' address and web port. False when it cannot: why and the fix in failure
// (one line). The bus link must be up; asks the instrument's identity before it returns.
bool web_start(const Options& options, unsigned raw_port, bool vxi11, char* failure, std::size_t failure_size);
unsigned web_port();

// No new connections or bus work; waits for the page's bus work in progress (Find included).
void web_stop_serving();
// Closes the connections, waiting for their threads at most a few seconds; true when every one ended.
bool web_close();

// The web connections, at most max of them, as the clients list shows them.
std::size_t web_connections_list(SlotView* views, std::size_t max);

}  // namespace gateway::web

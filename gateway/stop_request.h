// Requests to stop the gateway: Ctrl+C, Ctrl+Break and closing the console on Windows; SIGINT,
// SIGTERM and SIGHUP elsewhere.
#pragma once

namespace gateway {

// Call before any other thread is started.
void stop_requests_catch();

// Blocks until a stop is requested.
void stop_request_wait();

// The gateway has stopped: a console about to close may now end the process.
void stop_request_done();

}  // namespace gateway

// Requests to stop the gateway: Ctrl+C, Ctrl+Break, closing the console, logging off and shutting
// down on Windows; SIGINT, SIGTERM and SIGHUP elsewhere; and whatever calls stop_request_post (the
// service manager's stop) (SIGHUP not when the gateway was started
// with it ignored, as nohup does). SIGPIPE is ignored: a reader of the log that went away is a
// failed write, not the end of the process.
#pragma once

namespace gateway {

// Called with the request's name when a second stop request comes while the first is being
// carried out; it should end the process at once.
using SecondRequest = void (*)(const char* name);

// Call before any other thread is started and before the bus is brought up, so that a stop
// requested during the bring-up is kept. Without console_events, only stop_request_post asks (a
// service: Windows hands every service process the log-off of any user as a console event).
void stop_requests_catch(SecondRequest second, bool console_events);

// Asks for a stop as the console's events do; name says who asked.
void stop_request_post(const char* name);

// Whether a stop was requested, without waiting.
bool stop_requested();

// Blocks until a stop is requested; returns the request's name, such as "SIGINT" or "Ctrl+C".
const char* stop_request_wait();

// The gateway has stopped: a console about to close may now end the process.
void stop_request_done();

}  // namespace gateway

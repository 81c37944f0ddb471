// One request to one response, knowing nothing of sockets: what the server, the unit tests and
// the fuzz target call. Checks Host on every path, and the token and Origin on every POST, before
// anything touches the bus.
#pragma once

#include "web_http.h"

namespace gateway::web {

// peer: "A.B.C.D:PORT" of the client, for the log.
void handle_request(const WebRequest& request, const char* peer, WebResponse& response);

// A response to a request that could not be read (status 400, 413 or 431).
void refusal_response(int status, WebResponse& response);

// The value of key in an application/x-www-form-urlencoded body, decoded ('+' a blank, %HH a
// byte). False when key is absent or its value cannot be decoded.
bool form_value(const std::string& body, const char* key, std::string& value);

}  // namespace gateway::web

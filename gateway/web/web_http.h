// HTTP/1.1 on the wire, by Boost.Beast's parser and serializer (the only file that sees them): bytes
// from the gateway's own sockets in, a plain request out; a plain response in, its bytes out.
#pragma once

#include <cstddef>
#include <string>

namespace gateway::web {

constexpr std::size_t header_limit = 8 * 1024;
constexpr std::size_t body_limit = 4 * 1024;
// Parsers: one per web connection, and one spare for tests.
constexpr int parser_count = 9;

enum class Method { get, head, post, other };

struct WebRequest {
    Method method;
    std::string target;
    bool has_host;
    std::string host;
    bool has_origin;
    std::string origin;
    bool has_token;
    std::string token;        // X-Token
    std::string body;
    bool keep_alive;
    bool version_10;          // HTTP/1.0, which needs no Host
};

struct WebResponse {
    int status;
    const char* content_type;
    std::string body;
    const char* allow;        // for 405: the methods the path takes; may be null
    bool cacheable;           // the compiled-in script and style sheet
};

enum class Feed {
    more,      // every byte offered was taken; the request is not complete yet
    request,   // a request is complete (bytes after it were not taken)
    refused,   // unreadable or over a limit: answer with refusal_status and close
};

// A new request begins on parser p.
void http_input_reset(int p);

// Offers size bytes to parser p; returns how many it took. Bytes not taken must be offered again,
// with more after them, once more have come (a header is read whole).
std::size_t http_input_put(int p, const char* data, std::size_t size, Feed& feed, int& refusal_status,
                           WebRequest& request);

// The response's bytes with the headers every answer carries (security policy, no sniffing, no
// framing); for HEAD without the body.
void http_response_write(const WebResponse& response, bool head, bool keep_alive, std::string& out);

}  // namespace gateway::web

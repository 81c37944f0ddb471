// Fuzz target: what a browser or any HTTP client reaches on the web page. The input is the byte
// stream of one connection (its first byte chooses the size of the pieces it arrives in), with "@T"
// standing for the page's token so that the actions behind it are reached too. Each request is read
// by the parser, answered by handle_request and written by the serializer, as the server does.
// Checked: no bus call at all for a request that is not a POST with the token from the page's own
// origin; every response can be written, carries the page's security headers, and a HEAD's has no
// body; nothing runs past a buffer.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "bus_link.h"
#include "command_line.h"
#include "gateway_log.h"
#include "reply_bus_stub.h"
#include "web_actions.h"
#include "web_http.h"
#include "web_request.h"
#include "web_site.h"
#include "web_text.h"

namespace {

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n  %s\n", what, detail.c_str());
    std::abort();
}

using namespace gateway::web;

void set_up() {
    static bool done = false;
    if (done) return;
    done = true;
    static std::FILE* log = std::fopen("/dev/null", "w");
    gateway::log_to(log);
    gateway::Options options;
    gateway::options_default(options);
    bus_bring_up("4");
    if (!site_setup(options, 5025, true, 80)) fail("no token", "");
    actions_setup(4, 5);
}

// The token put in for every "@T".
std::string with_token(const std::uint8_t* data, std::size_t size) {
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '@' && i + 1 < size && data[i + 1] == 'T') {
            out += site().token;
            ++i;
        } else {
            out += static_cast<char>(data[i]);
        }
    }
    return out;
}

// Whether the request may touch the bus: a POST with the token, from no other origin than the page's,
// naming an allowed host (only HTTP/1.0 may leave Host out; then it can carry no Origin).
bool may_act(const WebRequest& rq) {
    if (rq.method != Method::post || !rq.has_token || rq.token != site().token) return false;
    if (!rq.has_host) return rq.version_10 && !rq.has_origin;
    if (!host_allowed(rq.host.data(), rq.host.size())) return false;
    return !rq.has_origin || same_name(rq.origin, "http://" + rq.host);
}

// A Find started by a request ends before the next request is judged.
void wait_for_find() {
    static FindView view;
    for (int i = 0; i < 100000; ++i) {
        find_view(view);
        if (!view.running) return;
        std::this_thread::yield();
    }
    fail("Find instruments did not end", "");
}

void check_request(const WebRequest& rq) {
    const long before = reply_bus.calls;
    WebResponse r{};
    handle_request(rq, "10.0.0.1:1234", r);
    wait_for_find();
    if (reply_bus.calls != before && !may_act(rq)) fail("a bus call without the page's token and origin", rq.target);
    if (r.status < 200 || r.status > 599 || r.content_type == nullptr) fail("no response", rq.target);
    std::string bytes;
    http_response_write(r, rq.method == Method::head, rq.keep_alive, bytes);
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string::npos || bytes.find("Content-Security-Policy: default-src 'self'") > end ||
        bytes.find("X-Content-Type-Options: nosniff") > end) {
        fail("a response without its headers", bytes.substr(0, 200));
    }
    if (rq.method == Method::head && end + 4 != bytes.size()) fail("a body after HEAD", rq.target);
}

}  // namespace

// The instrument behind the stub bus answers every message with the message.
std::string reply_to(const char*, const char* message) { return std::string(message) + "\n"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    set_up();
    const std::size_t piece = 1 + data[0] % 128;
    const std::string stream = with_token(data + 1, size - 1);
    constexpr int p = 0;
    http_input_reset(p);
    std::string held;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        held.append(stream, at, piece);
        for (;;) {
            Feed feed = Feed::more;
            int refusal = 0;
            WebRequest rq{};
            const std::size_t taken = http_input_put(p, held.data(), held.size(), feed, refusal, rq);
            if (taken > held.size()) fail("bytes taken out of range", std::to_string(taken));
            held.erase(0, taken);
            if (feed == Feed::refused) {
                if (refusal != 400 && refusal != 413 && refusal != 431) fail("an unknown refusal", std::to_string(refusal));
                return 0;   // the server answers and closes
            }
            if (feed == Feed::request) {
                check_request(rq);
                http_input_reset(p);
                continue;
            }
            // The server's buffer holds twice the header limit; a header that does not end in it is refused.
            if (held.size() > 2 * header_limit) return 0;
            if (taken == 0 || held.empty()) break;
        }
    }
    return 0;
}

#include "web_http.h"

#include <optional>

// Only what is used: the parser and serializer, not Beast's stream reading and writing.
#include <boost/beast/core/buffers_range.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/string_body.hpp>

namespace gateway::web {

namespace http = boost::beast::http;
using Parser = http::request_parser<http::string_body>;

namespace {

std::optional<Parser> parsers[parser_count];

// Scripts only from the page's own files, nothing from elsewhere, no framing.
constexpr const char* security_policy =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

Method method_of(http::verb v) {
    switch (v) {
        case http::verb::get: return Method::get;
        case http::verb::head: return Method::head;
        case http::verb::post: return Method::post;
        default: return Method::other;
    }
}

void take_field(const http::fields& fields, const char* name, bool& present, std::string& value) {
    const auto found = fields.find(name);
    present = found != fields.end();
    value = present ? std::string(found->value()) : std::string();
}

}  // namespace

void http_input_reset(int p) {
    parsers[p].emplace();
    parsers[p]->header_limit(header_limit);
    parsers[p]->body_limit(body_limit);
    parsers[p]->eager(true);
}

std::size_t http_input_put(int p, const char* data, std::size_t size, Feed& feed, int& refusal_status,
                           WebRequest& request) {
    Parser& parser = *parsers[p];
    boost::beast::error_code ec;
    const std::size_t taken = parser.put(boost::asio::const_buffer(data, size), ec);
    if (ec == http::error::need_more) {
        feed = Feed::more;
        return taken;
    }
    if (ec) {
        feed = Feed::refused;
        refusal_status = ec == http::error::header_limit ? 431 : ec == http::error::body_limit ? 413 : 400;
        return taken;
    }
    if (!parser.is_done()) {
        feed = Feed::more;
        return taken;
    }
    const auto& message = parser.get();
    feed = Feed::request;
    request.method = method_of(message.method());
    request.target = std::string(message.target());
    take_field(message, "Host", request.has_host, request.host);
    take_field(message, "Origin", request.has_origin, request.origin);
    take_field(message, "X-Token", request.has_token, request.token);
    request.body = message.body();
    request.keep_alive = message.keep_alive();
    request.version_10 = message.version() == 10;
    return taken;
}

void http_response_write(const WebResponse& response, bool head, bool keep_alive, std::string& out) {
    http::response<http::string_body> r{static_cast<http::status>(response.status), 11};
    r.set(http::field::content_type, response.content_type);
    r.set(http::field::cache_control, response.cacheable ? "max-age=300" : "no-store");
    r.set("Content-Security-Policy", security_policy);
    r.set("X-Content-Type-Options", "nosniff");
    r.set("X-Frame-Options", "DENY");
    r.set("Referrer-Policy", "no-referrer");
    if (response.allow != nullptr) r.set(http::field::allow, response.allow);
    r.keep_alive(keep_alive);
    if (head) {
        r.content_length(response.body.size());
    } else {
        r.body() = response.body;
        r.prepare_payload();
    }
    http::response_serializer<http::string_body> serializer{r};
    out.clear();
    boost::beast::error_code ec;
    while (!serializer.is_done()) {
        serializer.next(ec, [&](boost::beast::error_code& error, const auto& buffers) {
            std::size_t n = 0;
            for (const auto b : boost::beast::buffers_range_ref(buffers)) {
                out.append(static_cast<const char*>(b.data()), b.size());
                n += b.size();
            }
            serializer.consume(n);
            error = {};
        });
        if (ec) break;
        if (head && serializer.is_header_done()) break;
    }
}

}  // namespace gateway::web

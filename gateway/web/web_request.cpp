#include "web_request.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "web_actions.h"
#include "web_documents.h"
#include "web_site.h"
#include "web_text.h"

namespace gateway::web {

namespace {

constexpr const char* html_type = "text/html; charset=utf-8";
constexpr const char* json_type = "application/json";
constexpr const char* text_type = "text/plain; charset=utf-8";
// The longest message the message box sends, as the bus library's texts allow.
constexpr std::size_t message_max = 255;

void answer(WebResponse& r, int status, const char* type, std::string body) {
    r.status = status;
    r.content_type = type;
    r.body = std::move(body);
}

void error(WebResponse& r, int status, const char* why) {
    std::string body = "{\"error\":";
    json_append(body, why);
    body += '}';
    answer(r, status, json_type, std::move(body));
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool url_decode(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] == '%') {
            if (text.size() - i < 3) return false;
            const int high = hex_digit(text[i + 1]);
            const int low = hex_digit(text[i + 2]);
            if (high < 0 || low < 0) return false;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return true;
}

// A value of key (absent: ""), cut to what a 256-byte text buffer holds, as the panel reads its
// entries; zero bytes end it, as they end a text.
std::string entry(const std::string& body, const char* key) {
    std::string value;
    if (!form_value(body, key, value)) value.clear();
    value = value.c_str();
    if (value.size() > text_buffer_size - 1) value.resize(text_buffer_size - 1);
    return value;
}

// Plain decimal 0-30.
bool read_address(const std::string& text, int& address) {
    if (text.empty() || text.size() > 2) return false;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > 30 || (text.size() == 2 && text[0] == '0')) return false;
    address = value;
    return true;
}

// Whether the request's Origin, when it has one, is the page's own: http:// and the Host header.
bool origin_own(const WebRequest& rq) {
    if (!rq.has_origin) return true;
    const std::string_view o = rq.origin;
    constexpr std::string_view scheme = "http://";
    return o.size() > scheme.size() && o.substr(0, scheme.size()) == scheme && rq.has_host &&
           same_name(o.substr(scheme.size()), rq.host);
}

void panel_answer(WebResponse& r) {
    PanelView view{};
    panel_view(view);
    std::string body = "{\"panel\":";
    panel_json(view, body);
    body += '}';
    answer(r, 200, json_type, std::move(body));
}

void io_answer(const WebRequest& rq, const char* peer, IoKind kind, WebResponse& r) {
    int address = 0;
    std::string address_text;
    if (!form_value(rq.body, "address", address_text) || !read_address(address_text, address)) {
        return error(r, 400, "the GPIB address is a number from 0 to 30");
    }
    std::string message;
    if (kind == IoKind::write || kind == IoKind::query) {
        if (!form_value(rq.body, "message", message)) return error(r, 400, "no message");
        if (message.empty()) return error(r, 400, "the message is empty");
        if (message.size() > message_max) return error(r, 400, "the message is over 255 bytes");
        if (message.find('\0') != std::string::npos) return error(r, 400, "the message holds a zero byte");
    }
    IoOutcome outcome{};
    io_do(peer, kind, address, message.c_str(), outcome);
    std::string body = outcome.ok ? "{\"ok\":true,\"text\":" : "{\"ok\":false,\"text\":";
    json_append(body, outcome.text);
    body += '}';
    answer(r, 200, json_type, std::move(body));
}

void post(const WebRequest& rq, std::string_view path, const char* peer, WebResponse& r) {
    if (!origin_own(rq)) return error(r, 403, "refused: the request comes from another site");
    if (!rq.has_token || !token_matches(site().token, rq.token.data(), rq.token.size())) {
        return error(r, 403, "refused: no valid X-Token (the page's meta token)");
    }
    if (path == "/api/panel/on") {
        const std::string waveform = entry(rq.body, "waveform");
        if (!panel_waveform_known(waveform.c_str())) return error(r, 400, "waveform: SIN, TRI, SQU, PULS, RAMP or DC");
        panel_on(peer, waveform.c_str(), entry(rq.body, "frequency").c_str(), entry(rq.body, "amplitude").c_str());
        return panel_answer(r);
    }
    if (path == "/api/panel/off") {
        panel_off(peer);
        return panel_answer(r);
    }
    if (path == "/api/panel/self-test") {
        panel_self_test(peer);
        return panel_answer(r);
    }
    static const struct {
        const char* path;
        IoKind kind;
    } io_paths[] = {
        {"/api/io/write", IoKind::write}, {"/api/io/query", IoKind::query}, {"/api/io/read", IoKind::read},
        {"/api/io/clear", IoKind::clear}, {"/api/io/remote", IoKind::remote}, {"/api/io/local", IoKind::local},
    };
    for (const auto& io : io_paths) {
        if (path == io.path) return io_answer(rq, peer, io.kind, r);
    }
    if (path == "/api/find") {
        if (!find_start(peer)) return error(r, 409, "Find instruments is running already");
        return answer(r, 202, json_type, "{\"started\":true}");
    }
    if (path == "/api/idn") {
        idn_refresh(peer);
        IdnView view{};
        idn_view(view);
        std::string body = "{\"idn\":";
        idn_json(view, body);
        body += '}';
        return answer(r, 200, json_type, std::move(body));
    }
    error(r, 404, "no such action");
}

// /gpib0,N/lxi/identification: N, else -1.
int device_document(std::string_view path) {
    constexpr std::string_view prefix = "/gpib0,";
    constexpr std::string_view suffix = "/lxi/identification";
    if (path.size() <= prefix.size() + suffix.size() || path.substr(0, prefix.size()) != prefix ||
        path.substr(path.size() - suffix.size()) != suffix) {
        return -1;
    }
    int address = -1;
    const std::string digits(path.substr(prefix.size(), path.size() - prefix.size() - suffix.size()));
    return read_address(digits, address) ? address : -1;
}

unsigned long long log_after(std::string_view query) {
    constexpr std::string_view key = "log_after=";
    const std::size_t at = query.find(key);
    if (at == std::string_view::npos || (at > 0 && query[at - 1] != '&')) return 0;
    unsigned long long value = 0;
    for (std::size_t i = at + key.size(); i < query.size() && query[i] >= '0' && query[i] <= '9'; ++i) {
        if (value > 100000000000000000ULL) return 0;
        value = value * 10 + static_cast<unsigned long long>(query[i] - '0');
    }
    return value;
}

bool get(const WebRequest& rq, std::string_view path, std::string_view query, WebResponse& r) {
    const char* host = rq.host.data();
    const std::size_t host_length = rq.has_host ? rq.host.size() : 0;
    if (path == "/" || path == "/index.html") {
        r.status = 200;
        r.content_type = html_type;
        page_write(host, host_length, r.body);
    } else if (path == "/page.js") {
        answer(r, 200, "text/javascript; charset=utf-8", page_script);
        r.cacheable = true;
    } else if (path == "/page.css") {
        answer(r, 200, "text/css; charset=utf-8", page_style);
        r.cacheable = true;
    } else if (path == "/api/state") {
        r.status = 200;
        r.content_type = json_type;
        state_write(log_after(query), r.body);
    } else if (path == "/lxi/identification") {
        r.status = 200;
        r.content_type = "text/xml; charset=utf-8";
        identification_write(host, host_length, r.body);
    } else if (const int address = device_document(path); address >= 0) {
        r.status = 200;
        r.content_type = "text/xml; charset=utf-8";
        if (!device_identification_write(host, host_length, address, r.body)) {
            answer(r, 404, text_type, "no instrument known at that address: Find instruments first\n");
        }
    } else {
        return false;
    }
    return true;
}

bool is_post_path(std::string_view path) { return path.substr(0, 5) == "/api/" && path != "/api/state"; }

}  // namespace

bool form_value(const std::string& body, const char* key, std::string& value) {
    const std::string_view b = body;
    const std::string_view k = key;
    std::size_t at = 0;
    while (at <= b.size()) {
        std::size_t end = b.find('&', at);
        if (end == std::string_view::npos) end = b.size();
        const std::string_view pair = b.substr(at, end - at);
        const std::size_t equals = pair.find('=');
        const std::string_view name = pair.substr(0, equals);
        if (name == k) return url_decode(equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), value);
        at = end + 1;
    }
    return false;
}

void refusal_response(int status, WebResponse& r) {
    r = WebResponse{};
    const char* why = status == 431   ? "request header over 8 KiB"
                      : status == 413 ? "request body over 4 KiB"
                      : status == 408 ? "request not complete within 10 s"
                                      : "not a request that can be read";
    error(r, status, why);
}

void handle_request(const WebRequest& rq, const char* peer, WebResponse& r) {
    r = WebResponse{};
    // A page elsewhere that reaches the gateway through a name of its own is refused on every path;
    // only HTTP/1.0, which browsers no longer use, may leave Host out.
    if (!rq.has_host && !rq.version_10) return error(r, 400, "no Host header");
    if (rq.has_host && !host_allowed(rq.host.data(), rq.host.size())) {
        return error(r, 421, "this gateway does not answer to that host name (--web-host NAME adds one)");
    }
    const std::string_view target = rq.target;
    const std::size_t question = target.find('?');
    const std::string_view path = target.substr(0, question);
    const std::string_view query = question == std::string_view::npos ? std::string_view() : target.substr(question + 1);
    const bool post_path = is_post_path(path);
    switch (rq.method) {
        case Method::get:
        case Method::head:
            if (post_path) {
                error(r, 405, "use POST");
                r.allow = "POST";
                return;
            }
            if (!get(rq, path, query, r)) answer(r, 404, text_type, "not found\n");
            return;
        case Method::post:
            if (!post_path) {
                error(r, 405, "use GET");
                r.allow = "GET, HEAD";
                return;
            }
            return post(rq, path, peer, r);
        case Method::other:
            error(r, 405, "not a method this gateway takes");
            r.allow = post_path ? "POST" : "GET, HEAD";
            return;
    }
}

}  // namespace gateway::web

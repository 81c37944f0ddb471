#include "web_site.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "web_text.h"

namespace gateway::web {

namespace {

Site the_site;

// The name part of a Host header: "name" of "name:port"; "[...]" stays whole.
std::string_view host_name(const char* host, std::size_t length) {
    std::string_view h(host, length);
    if (!h.empty() && h.front() == '[') return h;
    const std::size_t colon = h.rfind(':');
    return colon == std::string_view::npos ? h : h.substr(0, colon);
}

}  // namespace

bool site_setup(const Options& options, unsigned raw_port, bool vxi11, unsigned web_port) {
    Site& s = the_site;
    s.options = options;
    s.raw_port = raw_port;
    s.vxi11 = vxi11;
    s.web_port = web_port;
    s.notes = options.lockout ? "" : "--no-lockout: no local lockout, the instrument's own keys stay usable";
    s.started = std::chrono::steady_clock::now();
    host_info_read(s.host);
    s.served_count = 0;
    if (options.listen_address == 0) {
        for (std::size_t i = 0; i < s.host.interface_count; ++i) s.served[s.served_count++] = s.host.interfaces[i].address;
    } else {
        s.served[s.served_count++] = options.listen_address;
    }
    return token_make(s.token);
}

const Site& site() { return the_site; }

bool host_allowed(const char* host, std::size_t length) {
    const std::string_view name = host_name(host, length);
    if (name.empty()) return false;
    if (same_name(name, "localhost") || same_name(name, the_site.host.name)) return true;
    for (std::size_t i = 0; i < the_site.options.web_host_count; ++i) {
        if (same_name(name, the_site.options.web_hosts[i])) return true;
    }
    for (std::size_t i = 0; i < the_site.served_count; ++i) {
        char text[16];
        dotted_text(text, the_site.served[i]);
        if (name == text) return true;
    }
    return false;
}

void host_for_links(const char* host, std::size_t length, char (&name)[80]) {
    const std::string_view h = host_name(host, length);
    if (!h.empty() && h.size() < sizeof name) {
        std::memcpy(name, h.data(), h.size());
        name[h.size()] = '\0';
        return;
    }
    char text[16];
    dotted_text(text, the_site.served_count > 0 ? the_site.served[0] : 0x7F000001);
    std::snprintf(name, sizeof name, "%s", text);
}

void idn_split(const char* reply, IdnFields& fields) {
    std::memset(&fields, 0, sizeof fields);
    const char* p = reply;
    for (int i = 0; i < 4 && *p != '\0'; ++i) {
        std::size_t n = 0;
        while (p[n] != '\0' && p[n] != ',' && p[n] != '\n' && p[n] != '\r') ++n;
        // Blanks around a field are no part of it.
        std::size_t start = 0;
        while (start < n && p[start] == ' ') ++start;
        std::size_t end = n;
        while (end > start && p[end - 1] == ' ') --end;
        // Control characters and bytes past ASCII made visible, as far as they fit.
        std::size_t kept = 0;
        for (std::size_t k = start; k < end; ++k) {
            char escaped[5];
            const std::size_t e = visible_byte(static_cast<unsigned char>(p[k]), escaped);
            if (kept + e >= sizeof fields.field[i]) break;
            std::memcpy(fields.field[i] + kept, escaped, e);
            kept += e;
        }
        fields.field[i][kept] = '\0';
        if (p[n] != ',') break;
        p += n + 1;
    }
}

}  // namespace gateway::web

#include "command_line.h"

#include <cstdio>
#include <cstring>

#include "net.h"

namespace gateway {

namespace {

constexpr std::int32_t default_timeout = 5;   // the control panel's
constexpr std::uint16_t default_port = 5025;
constexpr std::uint16_t default_core_port = 9010;
constexpr std::uint16_t default_abort_port = 9011;
constexpr std::uint16_t default_web_port = 80;
constexpr std::uint32_t loopback_network = 0x7F000000;
constexpr std::uint64_t default_log_limit = 10 * 1024 * 1024;
constexpr std::uint64_t log_limit_min = 1024;
constexpr std::uint64_t log_limit_max = std::uint64_t{1} << 40;

// Plain decimal digits, at most max; stops at end or at the given terminator.
bool read_number(const char*& text, std::uint64_t max, std::uint64_t& value, char end = '\0') {
    value = 0;
    const char* p = text;
    if (*p < '0' || *p > '9') return false;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > max) return false;
        ++p;
    }
    if (*p != end && *p != '\0') return false;
    text = p;
    return true;
}

// A DNS name as a browser sends it in Host: letters, digits, '-' and '.', not empty.
bool host_name_valid(const char* text) {
    if (*text == '\0') return false;
    for (const char* p = text; *p != '\0'; ++p) {
        const char c = *p;
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!ok) return false;
    }
    return true;
}

bool read_whole_number(const char* text, std::uint64_t max, std::uint64_t& value) {
    return read_number(text, max, value) && *text == '\0';
}

bool copy_text(char* buffer, std::size_t size, const char* text) {
    const std::size_t n = std::strlen(text);
    if (n >= size) return false;
    std::memcpy(buffer, text, n + 1);
    return true;
}

}  // namespace

const char* const usage_text =
    "usage: taverix-gateway [--address N] [--port P] [--listen ADDR] [--allow ADDR[/BITS]]... [--timeout N]\n"
    "                       [--no-vxi11 | [--core-port P] [--abort-port P]]\n"
    "                       [--no-web | [--web-port P] [--web-host NAME]...] [--no-lockout]\n"
    "                       [--log-file PATH] [--log-size BYTES]\n"
    "       taverix-gateway --install-service | --reinstall-service [the options above]\n"
    "       taverix-gateway --uninstall-service\n"
    "Serves the instruments on the TAVERIX bus over TCP: SCPI text lines on a raw socket (the\n"
    "instrument at --address), and VXI-11 (device gpib0,N: the instrument at address N; inst0: the one\n"
    "at --address) with its portmapper on port 111, TCP and UDP.\n"
    "  --address N        the instrument's GPIB address, 0-30 (default 4)\n"
    "  --port P           TCP port, 0-65535, 0 for any free one (default 5025)\n"
    "  --listen ADDR      IPv4 address to listen on (default 127.0.0.1; 0.0.0.0: every interface)\n"
    "  --allow ADDR[/BITS]  clients allowed besides loopback; repeatable, at most 16 (default: any)\n"
    "  --timeout N        the bus time-out value (default 5)\n"
    "  --no-vxi11         the raw socket alone: no VXI-11, nothing on port 111\n"
    "  --core-port P      VXI-11 core channel's TCP port, 0 for any free one (default 9010)\n"
    "  --abort-port P     VXI-11 abort channel's TCP port, 0 for any free one (default 9011)\n"
    "  --no-web           no web page\n"
    "  --web-port P       the web page's TCP port, 0 for any free one (default 80)\n"
    "  --web-host NAME    a name the web page may be asked by besides the address, localhost and this\n"
    "                     PC's name (a DNS alias); repeatable, at most 8\n"
    "  --no-lockout       no local lockout (gp_llo): the instrument's own keys stay usable\n"
    "  --log-file PATH    the log into PATH instead of the error output, start-up lines included,\n"
    "                     rotated by size: PATH.1 to PATH.3 keep the older lines\n"
    "  --log-size BYTES   the size at which the log file is rotated, 1024 or more (default 10485760)\n"
    "  --install-service  installs the Windows service qx7316-gateway, started at boot with the\n"
    "                     options given (its log: %ProgramData%\\QX7316\\gateway.log unless --log-file)\n"
    "  --reinstall-service  the same over an installed one: stops it, then installs it anew\n"
    "  --uninstall-service  stops the service (the instrument handed back first) and removes it\n"
    "  --service          how the service manager starts the installed service\n"
    "  --help             this text\n"
    "The portmapper answers UDP where TCP is served, and the broadcasts of --listen's network, for\n"
    "discovery; over UDP only NULL and GETPORT. A raw socket line for an instrument\n"
    "locked by a VXI-11 link waits up to 5 s for the lock, then is dropped (and logged).\n"
    "At most 64 VXI-11 links, 8 on one connection, 16 from one client address; a VXI-11 abort is taken\n"
    "only from the address of the link's own client. At most 16 connections of either kind, 8 from one\n"
    "client address (this PC's own, on loopback, are not capped per address). When all are taken, or\n"
    "its address has its 8, a new one gets the slot of the connection (of that address) that has sent\n"
    "no request for longest, once that is 1 s; it is turned away only when all of those are at work\n"
    "(a VXI-11 connection holding a link always counts as at work; a reply waiting for its client to\n"
    "read never does). The web page has 8 connections of its own, never taken from these 16. A reply\n"
    "that cannot be sent for 10 s (its client reads nothing), or sent data unacknowledged for 10 s (the\n"
    "client gone), ends the connection.\n"
    "Ctrl+C stops after the transaction under way and releases the instrument; a second Ctrl+C stops\n"
    "at once and says whether the instrument was released.\n";

void options_warnings(const Options& o, void (*warn)(const char* line)) {
    char line[256];
    const bool loopback = net_is_loopback(o.listen_address);
    if (o.allowed_count == 0 && !loopback) {
        std::snprintf(line, sizeof line,
                      "warning: serving %s with no --allow: every PC that reaches this one can drive the "
                      "instrument; --allow ADDR[/BITS] names the PCs that may",
                      o.listen_text);
        warn(line);
    }
    if (o.allowed_count > 0 && loopback) {
        std::snprintf(line, sizeof line,
                      "warning: --allow has no effect: listening on %s (loopback), every client is on this machine "
                      "and always allowed; --listen 0.0.0.0 or an address of this machine serves others",
                      o.listen_text);
        warn(line);
    }
    for (std::size_t i = 0; i < o.allowed_count; ++i) {
        const AddressRange& r = o.allowed[i];
        if (r.given == r.network) continue;
        char given[16];
        char network[16];
        net_ipv4_text(given, r.given);
        net_ipv4_text(network, r.network);
        std::snprintf(line, sizeof line, "warning: --allow %s/%u has bits set past its /%u: taken as %s/%u", given,
                      r.bits, r.bits, network, r.bits);
        warn(line);
    }
}

void options_default(Options& o) {
    std::memset(&o, 0, sizeof o);
    copy_text(o.address_text, sizeof o.address_text, "4");
    o.port = default_port;
    copy_text(o.listen_text, sizeof o.listen_text, "127.0.0.1");
    o.listen_address = loopback_network | 1;
    o.timeout = default_timeout;
    o.vxi11 = true;
    o.core_port = default_core_port;
    o.abort_port = default_abort_port;
    o.web = true;
    o.web_port = default_web_port;
    o.lockout = true;
    o.log_limit = default_log_limit;
}

bool option_kept_for_service(const char* argument) {
    return std::strcmp(argument, "--install-service") != 0 && std::strcmp(argument, "--reinstall-service") != 0 &&
           std::strcmp(argument, "--uninstall-service") != 0 && std::strcmp(argument, "--service") != 0;
}

bool read_ipv4(const char* text, std::uint32_t& address) {
    std::uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        std::uint64_t n = 0;
        if (!read_number(text, 255, n, part < 3 ? '.' : '\0')) return false;
        if (part < 3) {
            if (*text != '.') return false;
            ++text;
        }
        value = (value << 8) | static_cast<std::uint32_t>(n);
    }
    if (*text != '\0') return false;
    address = value;
    return true;
}

bool read_address_range(const char* text, AddressRange& range) {
    char address[16];
    const char* slash = std::strchr(text, '/');
    const std::size_t address_length = slash ? static_cast<std::size_t>(slash - text) : std::strlen(text);
    if (address_length >= sizeof address) return false;
    std::memcpy(address, text, address_length);
    address[address_length] = '\0';
    std::uint32_t value = 0;
    if (!read_ipv4(address, value)) return false;
    std::uint64_t bits = 32;
    if (slash && !read_whole_number(slash + 1, 32, bits)) return false;
    range.mask = bits == 0 ? 0 : ~static_cast<std::uint32_t>(0) << (32 - bits);
    range.network = value & range.mask;
    range.given = value;
    range.bits = static_cast<unsigned>(bits);
    return true;
}

bool client_allowed(const Options& o, std::uint32_t address) {
    if (net_is_loopback(address)) return true;
    if (o.allowed_count == 0) return true;
    for (std::size_t i = 0; i < o.allowed_count; ++i) {
        if ((address & o.allowed[i].mask) == o.allowed[i].network) return true;
    }
    return false;
}

bool options_read(int argc, const char* const* argv, Options& o) {
    int failed_at = 0;
    return options_read(argc, argv, o, failed_at);
}

bool options_read(int argc, const char* const* argv, Options& o, int& failed_at) {
    for (int i = 1; i < argc; ++i) {
        failed_at = i;
        const char* name = argv[i];
        if (std::strcmp(name, "--help") == 0) {
            o.help = true;
            continue;
        }
        if (std::strcmp(name, "--no-vxi11") == 0) {
            o.vxi11 = false;
            continue;
        }
        if (std::strcmp(name, "--no-web") == 0) {
            o.web = false;
            continue;
        }
        if (std::strcmp(name, "--no-lockout") == 0) {
            o.lockout = false;
            continue;
        }
        if (std::strcmp(name, "--service") == 0) {
            if (o.service_action != ServiceAction::none) return false;
            o.service = true;
            continue;
        }
        const ServiceAction action = std::strcmp(name, "--install-service") == 0     ? ServiceAction::install
                                     : std::strcmp(name, "--reinstall-service") == 0 ? ServiceAction::reinstall
                                     : std::strcmp(name, "--uninstall-service") == 0 ? ServiceAction::uninstall
                                                                                      : ServiceAction::none;
        if (action != ServiceAction::none) {
            if (o.service_action != ServiceAction::none || o.service) return false;
            o.service_action = action;
            continue;
        }
        if (i + 1 >= argc) {
            failed_at = argc;
            return false;
        }
        const char* value = argv[++i];
        std::uint64_t n = 0;
        if (std::strcmp(name, "--address") == 0) {
            // The text goes on the bus as given: no leading zeros.
            if (!read_whole_number(value, 30, n) || (value[0] == '0' && value[1] != '\0')) return false;
            copy_text(o.address_text, sizeof o.address_text, value);
        } else if (std::strcmp(name, "--port") == 0) {
            if (!read_whole_number(value, 65535, n)) return false;
            o.port = static_cast<std::uint16_t>(n);
        } else if (std::strcmp(name, "--core-port") == 0 || std::strcmp(name, "--abort-port") == 0) {
            if (!read_whole_number(value, 65535, n)) return false;
            (name[2] == 'c' ? o.core_port : o.abort_port) = static_cast<std::uint16_t>(n);
        } else if (std::strcmp(name, "--web-port") == 0) {
            if (!read_whole_number(value, 65535, n)) return false;
            o.web_port = static_cast<std::uint16_t>(n);
        } else if (std::strcmp(name, "--web-host") == 0) {
            if (o.web_host_count == web_host_max || !host_name_valid(value) ||
                !copy_text(o.web_hosts[o.web_host_count], web_host_size, value)) {
                return false;
            }
            ++o.web_host_count;
        } else if (std::strcmp(name, "--listen") == 0) {
            if (!read_ipv4(value, o.listen_address) || !copy_text(o.listen_text, sizeof o.listen_text, value)) return false;
        } else if (std::strcmp(name, "--allow") == 0) {
            if (o.allowed_count == allow_max || !read_address_range(value, o.allowed[o.allowed_count])) return false;
            ++o.allowed_count;
        } else if (std::strcmp(name, "--log-file") == 0) {
            if (value[0] == '\0' || !copy_text(o.log_path, sizeof o.log_path, value)) return false;
        } else if (std::strcmp(name, "--log-size") == 0) {
            if (!read_whole_number(value, log_limit_max, n) || n < log_limit_min) return false;
            o.log_limit = n;
        } else if (std::strcmp(name, "--timeout") == 0) {
            if (!read_whole_number(value, 0x7FFFFFFF, n)) return false;
            o.timeout = static_cast<std::int32_t>(n);
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace gateway

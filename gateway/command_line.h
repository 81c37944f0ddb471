// The gateway's command line.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gateway {

constexpr std::size_t allow_max = 16;
// --web-host names: how many, and the longest.
constexpr std::size_t web_host_max = 8;
constexpr std::size_t web_host_size = 64;
constexpr std::size_t log_path_capacity = 512;

// What --install-service, --reinstall-service and --uninstall-service ask for.
enum class ServiceAction { none, install, reinstall, uninstall };

// An IPv4 range: the addresses whose first bits equal network's.
struct AddressRange {
    std::uint32_t network;   // host byte order, bits past the prefix zero
    std::uint32_t mask;
    std::uint32_t given;     // the address as written, bits past the prefix as they were
    unsigned bits;
};

struct Options {
    char address_text[4];   // the instrument's GPIB address as decimal text, "0" to "30"
    std::uint16_t port;     // 0: any free port
    char listen_text[16];   // dotted IPv4 address as given
    std::uint32_t listen_address;
    AddressRange allowed[allow_max];
    std::size_t allowed_count;   // 0: every address that reaches the listener
    std::int32_t timeout;        // the gp_tmout value
    bool vxi11;                  // VXI-11 served beside the raw socket
    std::uint16_t core_port;     // VXI-11 core channel; 0: any free port
    std::uint16_t abort_port;    // VXI-11 abort channel; 0: any free port
    bool web;                    // the web page served
    std::uint16_t web_port;      // 0: any free port
    char web_hosts[web_host_max][web_host_size];   // more names the page may be asked by
    std::size_t web_host_count;
    bool lockout;                // the bring-up locks the instrument's front panel (gp_llo)
    char log_path[log_path_capacity];   // "": the log on stderr (a service: its default file)
    std::uint64_t log_limit;     // bytes in one log file before it is rotated
    bool service;                // run by the service manager: no console
    ServiceAction service_action;
    bool help;
};

// The defaults: address 4, port 5025, listening on 127.0.0.1, no ranges, time-out 5, VXI-11 on
// with its core channel on port 9010 and its abort channel on 9011, the web page on port 80, the
// local lockout, the log on stderr, 10 MB a log file.
void options_default(Options& options);

// Reads argv[1..argc-1] over the defaults. False when anything cannot be read, or options that
// exclude each other are given together (two service actions; one with --service).
bool options_read(int argc, const char* const* argv, Options& options);
// The same, giving the index in argv of the argument that could not be read (argc: a missing value).
bool options_read(int argc, const char* const* argv, Options& options, int& failed_at);

extern const char* const usage_text;

// Calls warn with each line ("warning: ...") on options that leave the instrument open to every PC
// that reaches this one (a listener beyond loopback with no --allow), or that are read but do not do
// what they seem to: --allow with a loopback listener, where every client is local and always
// allowed; a range whose address has bits set past its prefix.
void options_warnings(const Options& options, void (*warn)(const char* line));

// The options to carry into an installed service's command line: argv[1..argc-1] without the
// service action, as given.
bool option_kept_for_service(const char* argument);

// A dotted IPv4 address: four decimal numbers 0-255, nothing else.
bool read_ipv4(const char* text, std::uint32_t& address);

// ADDR or ADDR/BITS (0-32; without BITS one address).
bool read_address_range(const char* text, AddressRange& range);

// Whether a client may stay: loopback always; otherwise any address when no ranges were given,
// else one inside a range.
bool client_allowed(const Options& options, std::uint32_t address);

}  // namespace gateway

// What every page of the gateway knows of the gateway: set once at start, read by every request.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "command_line.h"
#include "host_info.h"
#include "web_token.h"

namespace gateway::web {

struct Site {
    Options options;
    unsigned raw_port;       // 0: the raw socket is not served
    bool vxi11;              // VXI-11 served
    unsigned web_port;
    char token[token_length + 1];
    HostInfo host;
    // The addresses served: the listening address, or every interface's for 0.0.0.0.
    std::uint32_t served[interface_max];
    std::size_t served_count;
    std::chrono::steady_clock::time_point started;
    const char* notes;       // start-up options the page shows, such as "--no-lockout"; "" when none
};

// Fills the site for options and the ports served; false when no token could be made.
bool site_setup(const Options& options, unsigned raw_port, bool vxi11, unsigned web_port);
const Site& site();

// Whether a Host header's name (any port, or none) is one the page answers to: an address served,
// localhost, this PC's name, or a --web-host name.
bool host_allowed(const char* host, std::size_t length);

// The name other PCs reach the gateway by, for resource strings: the Host header's name when it has
// one, else the first address served.
void host_for_links(const char* host, std::size_t length, char (&name)[80]);

// "Manufacturer", "Model", "SerialNumber" and "FirmwareRevision" of an *IDN? reply ("" where the
// reply has no such field), blanks around them dropped, control characters made visible (\n, \xHH).
struct IdnFields {
    char field[4][64];
};
void idn_split(const char* reply, IdnFields& fields);

}  // namespace gateway::web

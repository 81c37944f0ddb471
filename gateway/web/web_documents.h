// The documents the gateway serves, each written into a string: the welcome page (HTML), the
// state the page polls (JSON), the LXI identification (XML), and the page's script and style sheet.
#pragma once

#include <string>

#include "web_actions.h"

namespace gateway::web {

// The welcome page with the panel, the message box, Find instruments, the clients and the log.
// host: the Host header's name, for resource strings.
void page_write(const char* host, std::size_t host_length, std::string& out);

// Everything the page keeps current; log lines numbered after log_after only.
void state_write(unsigned long long log_after, std::string& out);
// Pieces of it, also the answers to the page's actions.
void panel_json(const PanelView& panel, std::string& out);
void idn_json(const IdnView& idn, std::string& out);

// The gateway's identification document, and that of the instrument at a GPIB address (false when
// no instrument is known there: neither --address nor found by Find instruments).
void identification_write(const char* host, std::size_t host_length, std::string& out);
bool device_identification_write(const char* host, std::size_t host_length, int address, std::string& out);

extern const char page_script[];
extern const char page_style[];

}  // namespace gateway::web

// The welcome page: what LXI asks a welcome page to show, then the panel, the message box, Find
// instruments, the clients and the log. Written at each request with what is known then; the script
// keeps it current. Every text from outside passes markup_append.
#include <cstdio>
#include <cstring>

#include "web_documents.h"
#include "web_site.h"
#include "web_text.h"

#ifndef QX_VERSION
#define QX_VERSION "0"
#endif

namespace gateway::web {

namespace {

void row(std::string& out, const char* name, const char* id, const char* value) {
    out += "<tr><th>";
    out += name;
    out += "</th><td";
    if (id != nullptr) {
        out += " id=\"";
        out += id;
        out += '"';
    }
    out += '>';
    markup_append(out, value);
    out += "</td></tr>\n";
}

void resource(std::string& out, const char* text, const char* what) {
    out += "<li><input class=\"resource\" readonly size=\"36\" value=\"";
    markup_append(out, text);
    out += "\"> <button type=\"button\" class=\"copy\">Copy</button> ";
    out += what;
    out += "</li>\n";
}

void button(std::string& out, const char* id, const char* label, bool enabled = true) {
    out += "<button type=\"button\" id=\"";
    out += id;
    out += enabled ? "\">" : "\" disabled>";
    out += label;
    out += "</button>\n";
}

// The panel's six waveforms, as the select offers them.
constexpr const char* waveform_names[] = {"SIN", "TRI", "SQU", "PULS", "RAMP", "DC"};

}  // namespace

void page_write(const char* host, std::size_t host_length, std::string& out) {
    const Site& s = site();
    char name[80];
    host_for_links(host, host_length, name);
    IdnView idn{};
    idn_view(idn);
    IdnFields fields{};
    idn_split(idn.ok ? idn.reply : "", fields);
    PanelView panel{};
    panel_view(panel);
    char text[160];

    out.clear();
    out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"token\" content=\"";
    out += s.token;
    out += "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>QX7316 SAMPLE gateway on ";
    markup_append(out, s.host.name);
    out += "</title>\n<link rel=\"stylesheet\" href=\"/page.css\">\n<script src=\"/page.js\" defer></script>\n</head>\n<body>\n";
    out += "<header><h1>QX7316 SAMPLE network gateway</h1><p>taverix-gateway " QX_VERSION " on <b>";
    markup_append(out, s.host.name);
    out += "</b>: the instrument on the TAVERIX GPIB bus as a LAN instrument</p></header>\n<main>\n";

    // The instrument and its identity.
    out += "<section id=\"instrument\"><h2>Instrument</h2>\n<p>GPIB address ";
    out += s.options.address_text;
    out += ", <code>*IDN?</code>: <span id=\"idn\">";
    std::string reply;
    visible_append(reply, idn.ok ? idn.reply : idn.failure, std::strlen(idn.ok ? idn.reply : idn.failure));
    markup_append(out, reply);
    out += "</span> ";
    button(out, "idn-refresh", "Ask again");
    out += "</p>\n<table>\n";
    row(out, "Manufacturer", "idn-manufacturer", fields.field[0]);
    row(out, "Model", "idn-model", fields.field[1]);
    row(out, "Serial number", "idn-serial", fields.field[2]);
    row(out, "Firmware", "idn-firmware", fields.field[3]);
    out += "</table>\n<h3>VISA resource strings</h3>\n<ul id=\"resource-strings\">\n";
    if (s.vxi11) {
        std::snprintf(text, sizeof text, "TCPIP0::%s::inst0::INSTR", name);
        char what[64];
        std::snprintf(what, sizeof what, "VXI-11, the instrument at GPIB address %s", s.options.address_text);
        resource(out, text, what);
        std::snprintf(text, sizeof text, "TCPIP0::%s::gpib0,%s::INSTR", name, s.options.address_text);
        resource(out, text, "VXI-11, by GPIB address (gpib0,0 to gpib0,30)");
    }
    if (s.raw_port != 0) {
        std::snprintf(text, sizeof text, "TCPIP0::%s::%u::SOCKET", name, s.raw_port);
        resource(out, text, "raw socket: one line a message, a query's reply one line");
    }
    out += "</ul>\n</section>\n";

    // The gateway.
    out += "<section id=\"gateway\"><h2>Gateway</h2>\n<table>\n";
    row(out, "Product", nullptr, "QX7316 SAMPLE network gateway (taverix-gateway)");
    row(out, "Version", nullptr, QX_VERSION);
    row(out, "Host name", "host-name", s.host.name);
    for (std::size_t i = 0; i < s.host.interface_count; ++i) {
        const HostInterface& h = s.host.interfaces[i];
        char address[16];
        char mask[16];
        dotted_text(address, h.address);
        dotted_text(mask, h.mask);
        std::snprintf(text, sizeof text, "%s, mask %s%s%s", address, mask, h.mac[0] ? ", MAC " : "", h.mac);
        row(out, "IPv4 address", nullptr, text);
    }
    std::snprintf(text, sizeof text, "%s (allowed clients: %s)", s.options.listen_text,
                  s.options.allowed_count > 0 ? "this PC and the --allow ranges" : "any that reaches it");
    row(out, "Listening on", nullptr, text);
    if (s.notes[0] != '\0') row(out, "Options", "options", s.notes);
    row(out, "Up for", "uptime", "");
    out += "</table>\n<table id=\"counts\">\n";
    row(out, "Connections (of 16)", "count-connections", "");
    row(out, "Web connections (of 8)", "count-web-connections", "");
    row(out, "VXI-11 links", "count-links", "");
    row(out, "Locks held", "count-locks", "");
    row(out, "Transactions", "count-transactions", "");
    row(out, "Failed bus calls", "count-failed", "");
    out += "</table>\n</section>\n";

    // The panel, as the program has it.
    out += "<section id=\"panel\"><h2>Panel</h2>\n<p class=\"note\">What the panel program does, on the instrument at "
           "GPIB address ";
    out += s.options.address_text;
    out += ".</p>\n<div class=\"grid\">\n<label for=\"panel-waveform\">Waveform</label><select id=\"panel-waveform\">";
    for (const char* w : waveform_names) {
        out += "<option value=\"";
        out += w;
        out += std::strcmp(w, "SIN") == 0 ? "\" selected>" : "\">";
        out += w;
        out += "</option>";
    }
    out += "</select>\n<label for=\"panel-frequency\">Frequency (Hz)</label><input id=\"panel-frequency\" type=\"text\" "
           "value=\"1000\" maxlength=\"255\" autocomplete=\"off\">\n<label for=\"panel-amplitude\">Amplitude (V)</label>"
           "<input id=\"panel-amplitude\" type=\"text\" value=\"3\" maxlength=\"255\" autocomplete=\"off\">\n</div>\n<p>";
    button(out, "panel-on", "ON", !panel.output_on);
    button(out, "panel-off", "OFF", panel.output_on);
    button(out, "panel-self-test", "SELF TEST");
    out += "</p>\n<table>\n";
    row(out, "Status", "panel-status", panel.status);
    row(out, "Self test", "panel-verdict", panel.verdict);
    row(out, "Waveform read back", "panel-readback-waveform", panel.readback[0]);
    row(out, "Frequency read back", "panel-readback-frequency", panel.readback[1]);
    row(out, "Amplitude read back", "panel-readback-amplitude", panel.readback[2]);
    out += "</table>\n</section>\n";

    // The message box.
    out += "<section id=\"message-box\"><h2>Message box</h2>\n<div class=\"grid\">\n<label for=\"io-address\">GPIB "
           "address</label><input id=\"io-address\" type=\"number\" min=\"0\" max=\"30\" value=\"";
    out += s.options.address_text;
    out += "\">\n<label for=\"io-message\">Message</label><input id=\"io-message\" type=\"text\" value=\"*IDN?\" "
           "maxlength=\"255\" autocomplete=\"off\">\n</div>\n<p>";
    button(out, "io-write", "Write");
    button(out, "io-query", "Query");
    button(out, "io-read", "Read");
    button(out, "io-clear", "Device clear");
    button(out, "io-remote", "Remote");
    button(out, "io-local", "Local");
    out += "</p>\n<pre id=\"io-reply\"></pre>\n</section>\n";

    // Find instruments.
    out += "<section id=\"find\"><h2>Find instruments</h2>\n<p>";
    button(out, "find-start", "Find instruments");
    out += " <span id=\"find-progress\"></span></p>\n<table id=\"find-results\"></table>\n</section>\n";

    // Clients and log.
    out += "<section id=\"clients-section\"><h2>Clients</h2>\n<table id=\"clients\"></table>\n</section>\n";
    out += "<section id=\"log-section\"><h2>Log (last 100 lines)</h2>\n<pre id=\"log\"></pre>\n</section>\n";
    out += "</main>\n</body>\n</html>\n";
}

}  // namespace gateway::web

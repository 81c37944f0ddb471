// The LXI identification documents: the gateway's own at /lxi/identification, listing the
// instruments behind it as connected devices, and each instrument's at /gpib0,N/lxi/identification.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "web_documents.h"
#include "web_site.h"
#include "web_text.h"

#ifndef QX_VERSION
#define QX_VERSION "0"
#endif

namespace gateway::web {

namespace {

constexpr const char* document_start =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<LXIDevice xmlns=\"http://www.lxistandard.org/InstrumentIdentification/1.0\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
constexpr const char* lxi_version = "1.5";

void element(std::string& out, const char* indent, const char* name, const char* value) {
    out += indent;
    out += '<';
    out += name;
    out += '>';
    markup_append(out, value);
    out += "</";
    out += name;
    out += ">\n";
}

// "http://NAME" or "http://NAME:PORT", NAME as the client named the gateway.
void base_url(const char* host, std::size_t host_length, char (&url)[128]) {
    char name[80];
    host_for_links(host, host_length, name);
    if (site().web_port == 80) {
        std::snprintf(url, sizeof url, "http://%s", name);
    } else {
        std::snprintf(url, sizeof url, "http://%s:%u", name, site().web_port);
    }
}

// The instruments known on the bus: --address, then those Find instruments found.
std::size_t known_addresses(int (&addresses)[bus_address_count]) {
    static FindView finding;   // large: one document at a time
    std::size_t n = 0;
    addresses[n++] = std::atoi(site().options.address_text);
    find_view(finding);
    for (std::size_t i = 0; i < finding.found_count; ++i) {
        bool listed = false;
        for (std::size_t k = 0; k < n; ++k) listed = listed || addresses[k] == finding.found[i].address;
        if (!listed) addresses[n++] = finding.found[i].address;
    }
    return n;
}

// The *IDN? reply known for the instrument at address; false when none is.
bool known_reply(int address, char (&reply)[text_buffer_size]) {
    static FindView finding;
    static IdnView idn;
    find_view(finding);
    for (std::size_t i = 0; i < finding.found_count; ++i) {
        if (finding.found[i].address != address) continue;
        std::memcpy(reply, finding.found[i].reply, sizeof reply);
        return true;
    }
    if (address != std::atoi(site().options.address_text)) return false;
    idn_view(idn);
    std::memcpy(reply, idn.ok ? idn.reply : "", idn.ok ? sizeof reply : 1);
    return true;
}

}  // namespace

void identification_write(const char* host, std::size_t host_length, std::string& out) {
    static std::mutex one_at_a_time;
    std::lock_guard<std::mutex> hold(one_at_a_time);
    const Site& s = site();
    char url[128];
    base_url(host, host_length, url);
    char text[192];
    out.clear();
    out += document_start;
    element(out, "  ", "Manufacturer", "QX7316 SAMPLE");
    element(out, "  ", "Model", "taverix-gateway");
    element(out, "  ", "SerialNumber", s.host.name);
    element(out, "  ", "FirmwareRevision", QX_VERSION);
    element(out, "  ", "ManufacturerDescription",
            "QX7316 SAMPLE network gateway: the instruments on a TAVERIX GPIB bus over VXI-11 and a raw socket");
    std::snprintf(text, sizeof text, "%s/", url);
    element(out, "  ", "HomepageURL", text);
    element(out, "  ", "DriverURL", text);
    out += "  <ConnectedDevices>\n";
    int addresses[bus_address_count];
    const std::size_t n = known_addresses(addresses);
    for (std::size_t i = 0; i < n; ++i) {
        std::snprintf(text, sizeof text, "%s/gpib0,%d", url, addresses[i]);
        element(out, "    ", "DeviceURI", text);
    }
    out += "  </ConnectedDevices>\n";
    for (std::size_t i = 0; i < s.served_count; ++i) {
        const HostInterface* h = nullptr;
        for (std::size_t k = 0; k < s.host.interface_count; ++k) {
            if (s.host.interfaces[k].address == s.served[i]) h = &s.host.interfaces[k];
        }
        char address[16];
        dotted_text(address, s.served[i]);
        out += "  <Interface xsi:type=\"NetworkInformation\" InterfaceType=\"LXI\" IPType=\"IPv4\">\n";
        if (s.vxi11) {
            std::snprintf(text, sizeof text, "TCPIP0::%s::inst0::INSTR", address);
            element(out, "    ", "InstrumentAddressString", text);
            std::snprintf(text, sizeof text, "TCPIP0::%s::gpib0,%s::INSTR", address, s.options.address_text);
            element(out, "    ", "InstrumentAddressString", text);
        }
        if (s.raw_port != 0) {
            std::snprintf(text, sizeof text, "TCPIP0::%s::%u::SOCKET", address, s.raw_port);
            element(out, "    ", "InstrumentAddressString", text);
        }
        char mask[16] = "";
        char gateway[16] = "0.0.0.0";
        if (h != nullptr) {
            dotted_text(mask, h->mask);
            dotted_text(gateway, h->gateway);
        }
        element(out, "    ", "Hostname", s.host.name);
        element(out, "    ", "IPAddress", address);
        element(out, "    ", "SubnetMask", mask);
        element(out, "    ", "MACAddress", h != nullptr ? h->mac : "");
        element(out, "    ", "Gateway", gateway);
        element(out, "    ", "DHCPEnabled", h != nullptr && h->dhcp ? "true" : "false");
        element(out, "    ", "AutoIPEnabled", (s.served[i] >> 16) == 0xA9FE ? "true" : "false");   // 169.254/16
        out += "  </Interface>\n";
    }
    element(out, "  ", "LXIVersion", lxi_version);
    out += "</LXIDevice>\n";
}

bool device_identification_write(const char* host, std::size_t host_length, int address, std::string& out) {
    static std::mutex one_at_a_time;
    std::lock_guard<std::mutex> hold(one_at_a_time);
    char reply[text_buffer_size];
    if (address < 0 || address >= bus_address_count || !known_reply(address, reply)) return false;
    IdnFields fields{};
    idn_split(reply, fields);
    char url[128];
    base_url(host, host_length, url);
    char text[192];
    out.clear();
    out += document_start;
    element(out, "  ", "Manufacturer", fields.field[0]);
    element(out, "  ", "Model", fields.field[1]);
    element(out, "  ", "SerialNumber", fields.field[2]);
    element(out, "  ", "FirmwareRevision", fields.field[3]);
    std::snprintf(text, sizeof text, "The instrument at GPIB address %d behind the QX7316 SAMPLE network gateway", address);
    element(out, "  ", "ManufacturerDescription", text);
    std::snprintf(text, sizeof text, "%s/", url);
    element(out, "  ", "HomepageURL", text);
    element(out, "  ", "LXIVersion", lxi_version);
    out += "</LXIDevice>\n";
    return true;
}

}  // namespace gateway::web

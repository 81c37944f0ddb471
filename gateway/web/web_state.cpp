// The state the page polls, as JSON: counts, identity, panel, Find, clients and log.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "bus_access.h"
#include "bus_transaction.h"
#include "connection_slots.h"
#include "gateway_log.h"
#include "link_table.h"
#include "web_documents.h"
#include "web_server.h"
#include "web_site.h"
#include "web_text.h"

namespace gateway::web {

namespace {

void number(std::string& out, const char* name, unsigned long long value) {
    char text[48];
    std::snprintf(text, sizeof text, "\"%s\":%llu", name, value);
    out += text;
}

void text(std::string& out, const char* name, const char* value) {
    out += '"';
    out += name;
    out += "\":";
    json_append(out, value);
}

void flag(std::string& out, const char* name, bool value) {
    out += '"';
    out += name;
    out += value ? "\":true" : "\":false";
}

std::size_t locks_held() {
    std::size_t n = 0;
    for (int a = 0; a < bus_address_count; ++a) n += address_lock_holder(a) != raw_owner;
    return n;
}

// One connection: its links' devices and the locks they hold.
void client_json(std::string& out, const SlotView& c, const vxi11::LinkView* links, std::size_t link_count) {
    std::string device;
    std::string lock;
    if (std::strcmp(c.protocol, "raw socket") == 0) {
        device = "address ";
        device += site().options.address_text;
    }
    for (std::size_t i = 0; i < link_count; ++i) {
        if (std::strcmp(links[i].peer, c.peer) != 0) continue;
        char text[48];
        std::snprintf(text, sizeof text, "%slink %lu %s", device.empty() ? "" : ", ", static_cast<unsigned long>(links[i].id),
                      links[i].device);
        device += text;
        if (address_lock_holder(links[i].address) == links[i].id) {
            std::snprintf(text, sizeof text, "%saddress %d (link %lu)", lock.empty() ? "" : ", ", links[i].address,
                          static_cast<unsigned long>(links[i].id));
            lock += text;
        }
    }
    out += '{';
    text(out, "peer", c.peer);
    out += ',';
    text(out, "protocol", c.protocol);
    out += ',';
    text(out, "device", device.c_str());
    out += ',';
    text(out, "lock", lock.c_str());
    out += ',';
    flag(out, "at_work", c.at_work);
    out += ',';
    number(out, "idle_ms", static_cast<unsigned long long>(c.idle.count()));
    out += '}';
}

}  // namespace

void panel_json(const PanelView& p, std::string& out) {
    out += '{';
    text(out, "status", p.status);
    out += ',';
    text(out, "waveform", p.readback[0]);
    out += ',';
    text(out, "frequency", p.readback[1]);
    out += ',';
    text(out, "amplitude", p.readback[2]);
    out += ',';
    text(out, "verdict", p.verdict);
    out += ',';
    flag(out, "output_on", p.output_on);
    out += '}';
}

void idn_json(const IdnView& idn, std::string& out) {
    IdnFields fields{};
    idn_split(idn.ok ? idn.reply : "", fields);
    std::string reply;
    visible_append(reply, idn.reply, std::strlen(idn.reply));
    out += '{';
    flag(out, "ok", idn.ok);
    out += ',';
    text(out, "reply", idn.ok ? reply.c_str() : idn.asked ? idn.failure : "not asked yet");
    static const char* const names[] = {"manufacturer", "model", "serial", "firmware"};
    for (int i = 0; i < 4; ++i) {
        out += ',';
        text(out, names[i], fields.field[i]);
    }
    out += '}';
}

void state_write(unsigned long long log_after, std::string& out) {
    static SlotView slots[connection_max + web_connection_max];
    static vxi11::LinkView links[vxi11::link_max];
    static RecentLine lines[recent_line_max];
    static PanelView panel;
    static FindView finding;
    static IdnView idn;
    static std::mutex buffers;   // the views above are large: one state written at a time
    std::lock_guard<std::mutex> hold(buffers);

    const std::size_t bus_connections = slots_list(slots, connection_max);
    const std::size_t web_connections = web_connections_list(slots + bus_connections, web_connection_max);
    const std::size_t link_count = vxi11::links_list(links, vxi11::link_max);
    const BusCounts counts = bus_counts();
    const auto uptime = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - site().started);

    out.clear();
    out += "{\"counts\":{";
    number(out, "uptime_s", static_cast<unsigned long long>(uptime.count()));
    out += ',';
    number(out, "connections", bus_connections);
    out += ',';
    number(out, "web_connections", web_connections);
    out += ',';
    number(out, "links", link_count);
    out += ',';
    number(out, "locks", locks_held());
    out += ',';
    number(out, "transactions", counts.transactions);
    out += ',';
    number(out, "failed", counts.failed);
    out += "},\"idn\":";
    idn_view(idn);
    idn_json(idn, out);
    out += ",\"panel\":";
    panel_view(panel);
    panel_json(panel, out);

    find_view(finding);
    out += ",\"find\":{";
    flag(out, "running", finding.running);
    out += ',';
    flag(out, "done", finding.done);
    out += ',';
    number(out, "next", static_cast<unsigned long long>(finding.next));
    out += ",\"found\":[";
    for (std::size_t i = 0; i < finding.found_count; ++i) {
        if (i > 0) out += ',';
        out += '{';
        number(out, "address", static_cast<unsigned long long>(finding.found[i].address));
        out += ',';
        std::string reply;
        visible_append(reply, finding.found[i].reply, std::strlen(finding.found[i].reply));
        text(out, "reply", reply.c_str());
        out += '}';
    }
    out += "]},\"clients\":[";
    for (std::size_t i = 0; i < bus_connections + web_connections; ++i) {
        if (i > 0) out += ',';
        client_json(out, slots[i], links, link_count);
    }
    const std::size_t line_count = log_recent(log_after, lines, recent_line_max);
    out += "],\"log\":{\"lines\":[";
    for (std::size_t i = 0; i < line_count; ++i) {
        if (i > 0) out += ',';
        json_append(out, lines[i].text);
    }
    out += "],";
    // The number of the newest line: lower than log_after when the page's numbers are another run's.
    number(out, "last", line_count > 0 ? lines[line_count - 1].number : log_newest());
    out += "}}";
}

}  // namespace gateway::web

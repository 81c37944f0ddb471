#include "web_actions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "bus_calls.h"
#include "bus_transaction.h"
#include "gateway_log.h"
#include "instrument_messages.h"
#include "link_table.h"
#include "text_buffer.h"
#include "web_text.h"

namespace gateway::web {

namespace {

// The longest the page waits for the bus behind other clients' transactions.
constexpr auto bus_wait = std::chrono::seconds(10);
// Find instruments asks each address with the bus library's shortest time-out but none.
constexpr std::int32_t find_timeout = 1;
constexpr const char* idn_query = "*IDN?";

int panel_address = 0;
char panel_address_text[4] = "";
std::int32_t restored_timeout = 5;
std::atomic<bool> stopping{true};
// Set while holding the bus: no action starts after it.
bool stopped = true;

std::mutex state_mutex;   // guards the views below
PanelView panel{};
FindView finding{};
IdnView identity{};
std::condition_variable find_ended;   // with state_mutex; a Find's thread is never joined

void copy_text(char* buffer, std::size_t size, const char* text) { std::snprintf(buffer, size, "%s", text); }

// Takes the bus for work at address. False when it cannot be had, with why in refusal: a VXI-11
// link's lock on the address refuses at once. What the page does there counts as another client's
// message: a VXI-11 link's unread output at the address is no longer the link's to read.
bool take_bus(int address, char (&refusal)[96]) {
    const BusClaim claim{address, raw_owner, false, std::chrono::milliseconds(0),
                         std::chrono::duration_cast<std::chrono::milliseconds>(bus_wait), &stopping};
    switch (bus_claim(claim)) {
        case BusWait::granted:
            if (!stopped) {
                bus_wrote(address, raw_owner);
                return true;
            }
            bus_unclaim();
            copy_text(refusal, sizeof refusal, "the gateway is stopping");
            return false;
        case BusWait::locked: {
            const BusOwner holder = address_lock_holder(address);
            vxi11::LinkView links[vxi11::link_max];
            const std::size_t n = vxi11::links_list(links, vxi11::link_max);
            std::snprintf(refusal, sizeof refusal, "locked by a VXI-11 link");
            for (std::size_t i = 0; i < n; ++i) {
                if (links[i].id == holder) {
                    std::snprintf(refusal, sizeof refusal, "locked by %s link %lu", links[i].peer,
                                  static_cast<unsigned long>(holder));
                }
            }
            return false;
        }
        case BusWait::timed_out: copy_text(refusal, sizeof refusal, "the bus stayed busy for 10 s"); return false;
        case BusWait::aborted: copy_text(refusal, sizeof refusal, "the gateway is stopping"); return false;
    }
    return false;
}

void log_action(const char* peer, const char* call, const char* data, const Transaction* t, const char* note) {
    const CallLog line{0, "web", call, data, data ? std::strlen(data) : 0, t, note, 0};
    log_call(peer, line);
}

struct WaveformName {
    const char* name;
    Waveform waveform;
};
constexpr WaveformName waveforms[] = {
    {"SIN", Waveform::sin}, {"TRI", Waveform::tri}, {"SQU", Waveform::squ},
    {"PULS", Waveform::puls}, {"RAMP", Waveform::ramp}, {"DC", Waveform::dc},
};

// Each read-back as it arrives, into the panel (context: the note for the log).
void keep_read_back(ReadBack which, const char* text, void* context) {
    const int field = which == ReadBack::waveform ? 0 : which == ReadBack::frequency ? 1 : 2;
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        copy_text(panel.readback[field], sizeof panel.readback[field], text);
    }
    std::string& note = *static_cast<std::string*>(context);
    note += note.empty() ? "read back \"" : " \"";
    visible_append(note, text, std::strlen(text));
    note += '"';
}

void set_status(const char* text) {
    std::lock_guard<std::mutex> hold(state_mutex);
    copy_text(panel.status, sizeof panel.status, text);
}

// A reply's text without the line feed bus_transaction ends it with.
void reply_line(const Transaction& t, char (&text)[text_buffer_size]) {
    std::size_t n = t.reply_length > 0 ? t.reply_length - 1 : 0;
    if (n > sizeof text - 1) n = sizeof text - 1;
    std::memcpy(text, t.reply, n);
    text[n] = '\0';
}

void failure_text(const Transaction& t, std::string& out) {
    char text[96];
    if (t.status != 0) {
        std::snprintf(text, sizeof text, "%s failed [%ld]", t.failed_call, static_cast<long>(t.status));
    } else {
        std::snprintf(text, sizeof text, "%s", t.failed_call);
    }
    out += text;
    if (t.cleared) {
        std::snprintf(text, sizeof text, ", gp_clr [%ld]", static_cast<long>(t.clear_status));
        out += text;
    }
}

void find_all(std::string peer) {
    for (int address = 0; address < bus_address_count && !stopping; ++address) {
        {
            std::lock_guard<std::mutex> hold(state_mutex);
            finding.next = address;
        }
        char refusal[96];
        if (!take_bus(address, refusal)) continue;   // locked: that instrument is another's now
        char text[4];
        std::snprintf(text, sizeof text, "%d", address);
        // An address where nothing listens is what Find is for: no failed bus call to count. A
        // read that failed part way is cleared, so that no late reply meets the next client.
        char reply[text_buffer_size + 1] = {};
        taverix::gp_tmout(find_timeout);
        const bool written = taverix::gp_wrt(text, idn_query) == 0;
        const bool answered = written && taverix::gp_red(text, reply, text_buffer_size) == 0 && reply[0] != '\0';
        if (written && !answered) taverix::gp_clr(text);
        taverix::gp_tmout(restored_timeout);
        bus_count(false);
        bus_unclaim();
        if (!answered) continue;
        std::size_t n = strnlen(reply, text_buffer_size);
        while (n > 0 && (reply[n - 1] == '\n' || reply[n - 1] == '\r')) --n;
        std::lock_guard<std::mutex> hold(state_mutex);
        Found& f = finding.found[finding.found_count++];
        f.address = address;
        std::memcpy(f.reply, reply, n < sizeof f.reply ? n : sizeof f.reply - 1);
        f.reply[n < sizeof f.reply ? n : sizeof f.reply - 1] = '\0';
    }
    char note[64];
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        std::snprintf(note, sizeof note, "%zu found", finding.found_count);
    }
    log_action(peer.c_str(), "find instruments", nullptr, nullptr, note);
    std::lock_guard<std::mutex> hold(state_mutex);
    finding.running = false;
    finding.done = true;
    find_ended.notify_all();
}

}  // namespace

void actions_setup(int instrument_address, std::int32_t bus_timeout) {
    panel_address = instrument_address;
    std::snprintf(panel_address_text, sizeof panel_address_text, "%d", instrument_address);
    restored_timeout = bus_timeout;
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        panel = PanelView{};
        finding = FindView{};
        identity = IdnView{};
    }
    stopped = false;
    stopping = false;
}

void actions_stop() {
    stopping = true;
    bus_wake_all();
    {
        std::unique_lock<std::mutex> hold(state_mutex);
        find_ended.wait(hold, [] { return !finding.running; });
    }
    std::lock_guard<std::mutex> bus(bus_lock());
    stopped = true;
}

void panel_view(PanelView& view) {
    std::lock_guard<std::mutex> hold(state_mutex);
    view = panel;
}

bool panel_waveform_known(const char* name) {
    for (const WaveformName& w : waveforms) {
        if (std::strcmp(w.name, name) == 0) return true;
    }
    return false;
}

void panel_on(const char* peer, const char* waveform_name, const char* frequency, const char* amplitude) {
    Waveform waveform = Waveform::dc;
    for (const WaveformName& w : waveforms) {
        if (std::strcmp(w.name, waveform_name) == 0) waveform = w.waveform;
    }
    set_status("");
    char refusal[96];
    if (!take_bus(panel_address, refusal)) {
        set_status(refusal);
        return log_action(peer, "panel ON", nullptr, nullptr, refusal);
    }
    std::string note;
    const LinkResult result = output_on(waveform, frequency, amplitude, keep_read_back, &note);
    char message[text_buffer_size];
    copy_text(message, sizeof message, command_text);
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        copy_text(panel.status, sizeof panel.status, result.status_text);   // "" on success
        if (result.ok) panel.output_on = true;
    }
    if (result.ok || message[0] != '\0') bus_count(!result.ok);
    bus_unclaim();
    log_action(peer, "panel ON", message[0] != '\0' ? message : nullptr, nullptr,
               result.ok ? note.c_str() : result.status_text);
}

void panel_off(const char* peer) {
    char refusal[96];
    if (!take_bus(panel_address, refusal)) {
        set_status(refusal);
        return log_action(peer, "panel OFF", nullptr, nullptr, refusal);
    }
    const LinkResult result = output_off();
    char status[text_buffer_size];
    copy_text(status, sizeof status, result.status_text);
    bus_count(!result.ok);
    bus_unclaim();
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        if (result.ok) {
            // The status line keeps what it showed.
            for (auto& field : panel.readback) field[0] = '\0';
            panel.output_on = false;
        } else {
            copy_text(panel.status, sizeof panel.status, status);
        }
    }
    log_action(peer, "panel OFF", nullptr, nullptr, result.ok ? nullptr : status);
}

void panel_self_test(const char* peer) {
    char refusal[96];
    if (!take_bus(panel_address, refusal)) {
        set_status(refusal);
        return log_action(peer, "panel SELF TEST", nullptr, nullptr, refusal);
    }
    const bool passed = self_test() == Verdict::ok;
    bus_count(false);
    bus_unclaim();
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        copy_text(panel.verdict, sizeof panel.verdict, passed ? "OK" : "NG");
    }
    log_action(peer, "panel SELF TEST", nullptr, nullptr, passed ? "OK" : "NG");
}

void io_do(const char* peer, IoKind kind, int address, const char* message, IoOutcome& outcome) {
    static const char* const names[] = {"write", "query", "read", "device clear", "remote", "local"};
    const char* name = names[static_cast<int>(kind)];
    outcome.ok = false;
    outcome.text.clear();
    char refusal[96];
    if (!take_bus(address, refusal)) {
        outcome.text = refusal;
        return log_action(peer, name, kind <= IoKind::query ? message : nullptr, nullptr, refusal);
    }
    char address_text[4];
    std::snprintf(address_text, sizeof address_text, "%d", address);
    static Transaction t;   // under the bus lock
    BusStatus status = 0;
    const char* call = "";
    switch (kind) {
        case IoKind::write: bus_transaction(address_text, message, false, t); break;
        case IoKind::query: bus_transaction(address_text, message, true, t); break;
        case IoKind::read: bus_read_reply(address_text, t); break;
        case IoKind::clear: call = "gp_clr"; status = taverix::gp_clr(address_text); break;
        case IoKind::remote: call = "gp_ren"; status = taverix::gp_ren(); break;
        case IoKind::local: call = "gp_lcl"; status = taverix::gp_lcl(address_text); break;
    }
    if (kind <= IoKind::read) {
        outcome.ok = t.outcome != Outcome::failed;
        if (t.outcome == Outcome::replied) {
            visible_append(outcome.text, t.reply, t.reply_length);
        } else if (t.outcome == Outcome::written) {
            outcome.text = "written";
        } else {
            failure_text(t, outcome.text);
        }
        const Transaction copy = t;
        bus_unclaim();
        return log_action(peer, name, kind == IoKind::read ? nullptr : message, &copy, nullptr);
    }
    bus_count(status != 0);
    bus_unclaim();
    char text[64];
    if (status == 0) {
        std::snprintf(text, sizeof text, "%s done", call);
    } else {
        std::snprintf(text, sizeof text, "%s failed [%ld]", call, static_cast<long>(status));
    }
    outcome.ok = status == 0;
    outcome.text = text;
    log_action(peer, name, nullptr, nullptr, text);
}

bool find_start(const char* peer) {
    {
        std::lock_guard<std::mutex> hold(state_mutex);
        if (finding.running || stopping) return false;
        finding = FindView{};
        finding.running = true;
    }
    try {
        std::thread(find_all, std::string(peer)).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> hold(state_mutex);
        finding.running = false;
        find_ended.notify_all();
        return false;
    }
    return true;
}

void find_view(FindView& view) {
    std::lock_guard<std::mutex> hold(state_mutex);
    view = finding;
}

void idn_refresh(const char* peer) {
    static Transaction t;   // under the bus lock
    char refusal[96];
    IdnView result{};
    result.asked = true;
    if (!take_bus(panel_address, refusal)) {
        copy_text(result.failure, sizeof result.failure, refusal);
    } else {
        bus_transaction(panel_address_text, idn_query, true, t);
        result.ok = t.outcome == Outcome::replied;
        if (result.ok) {
            reply_line(t, result.reply);
        } else {
            std::string failure;
            failure_text(t, failure);
            copy_text(result.failure, sizeof result.failure, failure.c_str());
        }
        const Transaction copy = t;
        bus_unclaim();
        log_action(peer, "identity", idn_query, &copy, nullptr);
    }
    std::lock_guard<std::mutex> hold(state_mutex);
    identity = result;
}

void idn_view(IdnView& view) {
    std::lock_guard<std::mutex> hold(state_mutex);
    view = identity;
}

}  // namespace gateway::web

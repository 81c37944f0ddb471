#include "core_channel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "bus_access.h"
#include "bus_calls.h"
#include "bus_transaction.h"
#include "device_name.h"
#include "gateway_log.h"
#include "link_table.h"
#include "message_rules.h"
#include "vxi11_messages.h"

namespace gateway::vxi11 {

namespace {

using std::chrono::milliseconds;

int inst0_address = 0;
std::uint16_t abort_port_told = 0;
milliseconds longest_wait{0};

milliseconds bounded(std::uint32_t ms) { return std::min(milliseconds(ms), longest_wait); }
std::atomic<bool> stopped{false};

// Keeps the call's log line until core_log_flush; one line per call.
void log(CoreConnection& c, const Link* link, const char* call, std::int32_t error, const char* data = nullptr,
         std::size_t data_length = 0, const Transaction* t = nullptr, const char* note = nullptr) {
    CallLog& line = c.pending_log;
    line = CallLog{};
    line.link = link ? link->id : 0;
    if (link != nullptr) {
        // The link may be gone, and its slot taken, before the line is written.
        std::memcpy(c.pending_device, link->device, sizeof c.pending_device);
        line.device = c.pending_device;
    }
    line.call = call;
    line.data = data;
    line.data_length = data_length;
    line.transaction = t;
    line.note = note;
    line.error = error;
    c.log_pending = true;
}

std::int32_t wait_error(BusWait w) {
    switch (w) {
        case BusWait::granted: return no_error;
        case BusWait::locked: return locked_by_another;
        case BusWait::timed_out: return io_timeout;
        case BusWait::aborted: return aborted;
    }
    return io_error;
}

BusClaim claim_for(Link& link, std::uint32_t flags, std::uint32_t lock_timeout, std::uint32_t io_timeout) {
    return BusClaim{link.address, link.id, (flags & flag_wait_lock) != 0, bounded(lock_timeout),
                    bounded(io_timeout), &link.abort_requested};
}

// Waits while another link holds the lock of the link's address (as long as the call's flags and
// lock_timeout allow): no_error, or the call's error.
std::int32_t wait_unlocked(Link& link, std::uint32_t flags, std::uint32_t lock_timeout) {
    return wait_error(address_wait_unlocked(claim_for(link, flags, lock_timeout, 0)));
}

// Takes the bus for the link's call: no_error, or the call's error.
std::int32_t take_bus(Link& link, std::uint32_t flags, std::uint32_t lock_timeout, std::uint32_t io_timeout) {
    const BusWait w = bus_claim(claim_for(link, flags, lock_timeout, io_timeout));
    if (w != BusWait::granted) return wait_error(w);
    if (stopped) {
        bus_unclaim();
        return aborted;
    }
    return no_error;
}

// The link named by the call, its abort flag lowered: an abort counts for a call under way. A
// link unknown to this connection is logged here; the call answers invalid_link.
Link* call_link(CoreConnection& c, std::uint32_t id, const char* call) {
    c.read_due = false;
    Link* link = link_find(&c, id);
    if (link != nullptr) {
        link->abort_requested = false;
    } else {
        log(c, nullptr, call, invalid_link, nullptr, 0, nullptr, "no such link");
        c.pending_log.link = id;
    }
    return link;
}

void drop_reply_and_message(Link& link) {
    link.reply_pending = false;
    link.reply_at = 0;
    link.message_length = 0;
    link.message_refused = false;
}

CreateLinkResult create_link(CoreConnection& c, const CreateLinkArgs& a) {
    CreateLinkResult r{no_error, 0, abort_port_told, max_receive_size};
    int address = 0;
    char device[16];
    if (!device_name_read(a.device, a.device_length, inst0_address, address, device)) {
        r.error = device_not_accessible;
        log(c, nullptr, "create_link", r.error, a.device, a.device_length);
        return r;
    }
    const char* why_refused = nullptr;
    Link* link = link_create(&c, c.client, c.peer, address, device, why_refused);
    if (link == nullptr) {
        r.error = out_of_resources;
        log(c, nullptr, "create_link", r.error, a.device, a.device_length, nullptr, why_refused);
        return r;
    }
    if (a.lock_device) {
        const BusClaim claim{address, link->id, true, bounded(a.lock_timeout), milliseconds(-1),
                             &link->abort_requested};
        if (const BusWait w = address_lock(claim); w != BusWait::granted) {
            r.error = wait_error(w);
            log(c, link, "create_link", r.error, nullptr, 0, nullptr, "with the lock");
            link_destroy(link);
            return r;
        }
    }
    r.link = link->id;
    log(c, link, "create_link", r.error, nullptr, 0, nullptr, a.lock_device ? "with the lock" : nullptr);
    return r;
}

WriteResult device_write(CoreConnection& c, const WriteArgs& a) {
    Link* link = call_link(c, a.link, "device_write");
    if (link == nullptr) return {invalid_link, 0};
    const bool end = (a.flags & flag_end) != 0;
    // A message begun while another link holds the lock would reach the instrument under that
    // lock, or be dropped at its end: its first write is refused instead.
    if (link->message_length == 0 && !link->message_refused) {
        if (const std::int32_t e = wait_unlocked(*link, a.flags, a.lock_timeout); e != no_error) {
            log(c, link, "device_write", e, a.data, a.data_length);
            return {e, 0};
        }
    }
    const char* refusal = nullptr;
    if (!link->message_refused) {
        if (std::memchr(a.data, 0, a.data_length) != nullptr) {
            refusal = "refused, zero byte in message";
        } else if (a.data_length > message_kept_max - link->message_length) {
            refusal = "refused, over 255 bytes";
        } else {
            std::memcpy(link->message + link->message_length, a.data, a.data_length);
            link->message_length += a.data_length;
        }
        if (refusal != nullptr) {
            log(c, link, "device_write", parameter_error, a.data, a.data_length, nullptr, refusal);
            link->message_refused = true;
        }
    }
    if (link->message_refused) {
        if (end) drop_reply_and_message(*link);
        return {parameter_error, 0};
    }
    const auto size = static_cast<std::uint32_t>(a.data_length);
    if (!end) return {no_error, size};

    // The whole message: its line ending goes as the raw socket's does, not to the bus.
    std::size_t n = link->message_length;
    if (n > 0 && link->message[n - 1] == '\n') --n;
    if (n > 0 && link->message[n - 1] == '\r') --n;
    link->message[n] = '\0';
    link->message_length = 0;
    link->reply_pending = false;
    if (n > message_max) {
        log(c, link, "device_write", parameter_error, link->message, n, nullptr, "refused, over 255 bytes");
        return {parameter_error, 0};
    }
    if (n == 0) return {no_error, size};
    const bool query = message_has_query(link->message, n);
    if (const std::int32_t e = take_bus(*link, a.flags, a.lock_timeout, a.io_timeout); e != no_error) {
        log(c, link, "device_write", e, link->message, n);
        return {e, 0};
    }
    bus_transaction(link->address_text, link->message, query, link->transaction);
    bus_wrote(link->address, link->id);
    bus_unclaim();
    const Transaction& t = link->transaction;
    std::int32_t error = no_error;
    if (t.outcome == Outcome::failed && std::strcmp(t.failed_call, "gp_wrt") == 0) error = io_error;
    // A failed read leaves a failed reply: device_read tells it.
    link->reply_pending = query && error == no_error;
    link->reply_at = 0;
    c.read_due = link->reply_pending;
    log(c, link, "device_write", error, link->message, n, &t);
    return {error, error == no_error ? size : 0};
}

ReadResult device_read(CoreConnection& c, const ReadArgs& a) {
    ReadResult r{no_error, 0, "", 0};
    Link* link = call_link(c, a.link, "device_read");
    if (link == nullptr) {
        r.error = invalid_link;
        return r;
    }
    Transaction& t = link->transaction;
    if (link->reply_pending) {
        // The reply is the link's own, but the instrument is another link's while it holds the lock.
        if (const std::int32_t e = wait_unlocked(*link, a.flags, a.lock_timeout); e != no_error) {
            r.error = e;
            log(c, link, "device_read", e);
            return r;
        }
    } else {
        // Nothing asked for a reply the gateway knows of: read what the instrument has, when it can
        // only follow this link's own message; another client's output is never handed out.
        if (const std::int32_t e = take_bus(*link, a.flags, a.lock_timeout, a.io_timeout); e != no_error) {
            r.error = e;
            log(c, link, "device_read", e);
            return r;
        }
        if (bus_last_writer(link->address) != link->id) {
            bus_unclaim();
            r.error = io_timeout;
            log(c, link, "device_read", r.error, nullptr, 0, nullptr,
                "nothing of this link's to read: another client wrote to the instrument since");
            return r;
        }
        bus_read_reply(link->address_text, t);
        bus_unclaim();
        link->reply_pending = true;
        link->reply_at = 0;
    }
    if (t.outcome != Outcome::replied) {
        link->reply_pending = false;
        r.error = t.outcome == Outcome::failed && t.status == 0 ? io_error : io_timeout;
        log(c, link, "device_read", r.error, nullptr, 0, &t);
        return r;
    }
    const std::size_t left = t.reply_length - link->reply_at;
    std::size_t n = left < a.request_size ? left : a.request_size;
    if (n > data_max) n = data_max;
    const char* data = t.reply + link->reply_at;
    if ((a.flags & flag_term_char) != 0) {
        if (const void* at = std::memchr(data, a.term_char, n); at != nullptr) {
            n = static_cast<std::size_t>(static_cast<const char*>(at) - data) + 1;
            r.reason |= reason_term_char;
        }
    }
    link->reply_at += n;
    if (link->reply_at == t.reply_length) {
        r.reason |= reason_end;
        link->reply_pending = false;
    } else if (n == a.request_size) {
        r.reason |= reason_request_count;
    }
    c.read_due = link->reply_pending;
    r.data = data;
    r.data_length = n;
    const char* reason = (r.reason & reason_end) != 0          ? "END"
                         : (r.reason & reason_term_char) != 0     ? "CHR"
                         : (r.reason & reason_request_count) != 0 ? "REQCNT"
                                                                  : nullptr;
    log(c, link, "device_read", r.error, data, n, nullptr, reason);
    return r;
}

// A call that is one bus function of the link's address (or of the bus, for gp_ren).
enum class BusFunction { clear, remote, local };

ErrorResult bus_call(CoreConnection& c, const GenericArgs& a, BusFunction f, const char* name) {
    Link* link = call_link(c, a.link, name);
    if (link == nullptr) return {invalid_link};
    if (const std::int32_t e = take_bus(*link, a.flags, a.lock_timeout, a.io_timeout); e != no_error) {
        log(c, link, name, e);
        return {e};
    }
    BusStatus status = 0;
    switch (f) {
        case BusFunction::clear: status = taverix::gp_clr(link->address_text); break;
        case BusFunction::remote: status = taverix::gp_ren(); break;
        case BusFunction::local: status = taverix::gp_lcl(link->address_text); break;
    }
    bus_unclaim();
    if (f == BusFunction::clear) drop_reply_and_message(*link);
    const std::int32_t error = status == 0 ? no_error : io_error;
    log(c, link, name, error);
    return {error};
}

ErrorResult device_clear(CoreConnection& c, const GenericArgs& a) {
    return bus_call(c, a, BusFunction::clear, "device_clear");
}
ErrorResult device_remote(CoreConnection& c, const GenericArgs& a) {
    return bus_call(c, a, BusFunction::remote, "device_remote");
}
ErrorResult device_local(CoreConnection& c, const GenericArgs& a) {
    return bus_call(c, a, BusFunction::local, "device_local");
}

// What the bus library cannot do: refused, not faked. The call's error.
std::int32_t refuse(CoreConnection& c, std::uint32_t link_id, const char* call) {
    Link* link = call_link(c, link_id, call);
    if (link == nullptr) return invalid_link;
    log(c, link, call, not_supported);
    return not_supported;
}
ErrorResult device_trigger(CoreConnection& c, const GenericArgs& a) { return {refuse(c, a.link, "device_trigger")}; }
ReadStbResult device_readstb(CoreConnection& c, const GenericArgs& a) {
    return {refuse(c, a.link, "device_readstb"), 0};
}
DocmdResult device_docmd(CoreConnection& c, const DocmdArgs& a) { return {refuse(c, a.link, "device_docmd")}; }

ErrorResult device_enable_srq(CoreConnection& c, const EnableSrqArgs& a) {
    Link* link = call_link(c, a.link, "device_enable_srq");
    if (link == nullptr) return {invalid_link};
    const std::int32_t error = a.enable ? not_supported : no_error;
    log(c, link, "device_enable_srq", error, nullptr, 0, nullptr, a.enable ? "on" : "off");
    return {error};
}

ErrorResult device_lock(CoreConnection& c, const LockArgs& a) {
    Link* link = call_link(c, a.link, "device_lock");
    if (link == nullptr) return {invalid_link};
    const BusClaim claim{link->address, link->id, (a.flags & flag_wait_lock) != 0, bounded(a.lock_timeout),
                         milliseconds(-1), &link->abort_requested};
    const std::int32_t error = wait_error(address_lock(claim));
    log(c, link, "device_lock", error);
    return {error};
}

ErrorResult device_unlock(CoreConnection& c, const LinkArgs& a) {
    Link* link = call_link(c, a.link, "device_unlock");
    if (link == nullptr) return {invalid_link};
    const std::int32_t error = address_unlock(link->address, link->id) ? no_error : no_lock_held;
    log(c, link, "device_unlock", error);
    return {error};
}

ErrorResult destroy_link(CoreConnection& c, const LinkArgs& a) {
    Link* link = call_link(c, a.link, "destroy_link");
    if (link == nullptr) return {invalid_link};
    log(c, link, "destroy_link", no_error);
    link_destroy(link);
    return {no_error};
}

// No interrupt channel: service requests are not offered. Tearing down the channel that was
// never made succeeds, so that closing a session never fails on it.
ErrorResult create_intr_chan(CoreConnection& c, const RemoteFuncArgs&) {
    log(c, nullptr, "create_intr_chan", not_supported);
    return {not_supported};
}
ErrorResult destroy_intr_chan(CoreConnection&, const Void&) { return {no_error}; }

// Only the link's own client may abort its calls: a stranger's abort is told the link is unknown.
ErrorResult device_abort(CoreConnection& c, const LinkArgs& a) {
    const AbortResult result = link_abort(a.link, c.client);
    const std::int32_t error = result == AbortResult::raised ? no_error : invalid_link;
    log(c, nullptr, "device_abort", error, nullptr, 0, nullptr,
        result == AbortResult::another_client ? "another client's link: nothing aborted" : nullptr);
    c.pending_log.link = a.link;
    return {error};
}

const rpc::Procedure core_procedures[] = {
    {0, rpc::rpc_null_procedure},
    {create_link_procedure, rpc::rpc_procedure<create_link>},
    {11, rpc::rpc_procedure<device_write>},
    {12, rpc::rpc_procedure<device_read>},
    {13, rpc::rpc_procedure<device_readstb>},
    {14, rpc::rpc_procedure<device_trigger>},
    {15, rpc::rpc_procedure<device_clear>},
    {16, rpc::rpc_procedure<device_remote>},
    {17, rpc::rpc_procedure<device_local>},
    {18, rpc::rpc_procedure<device_lock>},
    {19, rpc::rpc_procedure<device_unlock>},
    {20, rpc::rpc_procedure<device_enable_srq>},
    {22, rpc::rpc_procedure<device_docmd>},
    {23, rpc::rpc_procedure<destroy_link>},
    {25, rpc::rpc_procedure<create_intr_chan>},
    {26, rpc::rpc_procedure<destroy_intr_chan>},
};

const rpc::Procedure abort_procedures[] = {
    {0, rpc::rpc_null_procedure},
    {1, rpc::rpc_procedure<device_abort>},
};

}  // namespace

const rpc::Program core_programs[] = {
    {core_program, channel_version, channel_version, core_procedures, sizeof core_procedures / sizeof core_procedures[0]},
};
const std::size_t core_program_count = 1;
const rpc::Program abort_programs[] = {
    {abort_program, channel_version, channel_version, abort_procedures,
     sizeof abort_procedures / sizeof abort_procedures[0]},
};
const std::size_t abort_program_count = 1;

void core_channel_setup(int default_address, std::uint16_t abort_port, milliseconds wait_max) {
    inst0_address = default_address;
    longest_wait = wait_max;
    abort_port_told = abort_port;
    stopped = false;
}

void core_channel_stop() {
    {
        std::lock_guard<std::mutex> hold(bus_lock());
        stopped = true;
    }
    links_abort_all();
}

void core_log_flush(CoreConnection& c) {
    if (!c.log_pending) return;
    c.log_pending = false;
    log_call(c.peer, c.pending_log);
}

void core_connection_closed(CoreConnection& connection) { links_destroy_all(&connection); }

}  // namespace gateway::vxi11

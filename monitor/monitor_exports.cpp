// The ten bus functions as the monitor offers them: each passes the call to the real library
// unchanged, returns what it returned, and logs the call as the simulator's trace would write it.
// Without a working library every call returns the monitor's code instead (monitor_codes.h). A call
// that takes long is logged while it runs as well (running_calls.h).
#include <cstring>

#include "bus_call_line.h"
#include "monitor_log.h"
#include "running_calls.h"
#include "target_calls.h"
#include "target_library.h"

using namespace monitor;
using bus_trace::BusFunction;

namespace {

// One call from its start to its line. The caller's last-error value is the library's after the
// call (the monitor's own work sets it too), and is left as it was when no library is called.
struct MonitoredCall {
    CallClock clock;
    DWORD last_error;
    int place;
    std::int32_t status;
};

// Starts the clock, finds the library and notes the call as under way; null when there is no
// library to call, the status then being the monitor's code.
const TargetFunctions* call_begin(MonitoredCall& call, const CallArguments& arguments) {
    call.last_error = GetLastError();
    call_clock_start(call.clock);
    const TargetFunctions* target = nullptr;
    call.status = target_ready(target);
    call_timing_begin(call.clock);
    call.place = target ? running_call_begin(arguments, call.clock.begin) : not_watched;
    return target;
}

// Right after the library's function returned, before anything can change the last error.
void call_returned(MonitoredCall& call, std::int32_t status) {
    call.last_error = GetLastError();
    call_timing_end(call.clock);
    running_call_end(call.place);
    call.status = status;
}

// Writes the line begun with log_begin and returns the call's status.
BusStatus call_end(const MonitoredCall& call) {
    log_end_call(call.clock);
    SetLastError(call.last_error);
    return call.status;
}

PlainFunction plain_function(const TargetFunctions& target, BusFunction function) {
    switch (function) {
        case BusFunction::cli: return target.cli;
        case BusFunction::ren: return target.ren;
        default: return target.llo;
    }
}

BusStatus monitored_plain_call(BusFunction function) {
    MonitoredCall call;
    if (const TargetFunctions* target = call_begin(call, {function, {}, 0, {}, 0})) {
        call_returned(call, call_plain(plain_function(*target, function)));
    }
    bus_trace::write_plain_call(log_begin(), function, call.status);
    return call_end(call);
}

BusStatus monitored_number_call(BusFunction function, std::int32_t value) {
    MonitoredCall call;
    if (const TargetFunctions* target = call_begin(call, {function, {}, 0, {value}, 1})) {
        call_returned(call, call_number(function == BusFunction::tmout ? target->tmout : target->wait, value));
    }
    bus_trace::write_number_call(log_begin(), function, value, call.status);
    return call_end(call);
}

BusStatus monitored_address_call(BusFunction function, const char* address_list) {
    MonitoredCall call;
    if (const TargetFunctions* target = call_begin(call, {function, {address_list}, 1, {}, 0})) {
        call_returned(call, call_address(function == BusFunction::clr ? target->clr : target->lcl, address_list));
    }
    bus_trace::write_address_call(log_begin(), function, address_list, call.status);
    return call_end(call);
}

// What a successful read delivered: the bytes before the first zero within size (all of them when
// there is none). A failed read delivered nothing, whatever the buffer holds from before.
std::size_t delivered_size(std::int32_t status, const char* reply, std::int32_t size) {
    if (status != 0 || !reply || size <= 0) return 0;
    const void* end = std::memchr(reply, '\0', static_cast<std::size_t>(size));
    return end ? static_cast<std::size_t>(static_cast<const char*>(end) - reply) : static_cast<std::size_t>(size);
}

}  // namespace

extern "C" {

BusStatus TAVERIX_CALL gp_init(std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2) {
    MonitoredCall call;
    const CallArguments arguments{BusFunction::init, {}, 0, {own_address, reserved1, reserved2}, 3};
    if (const TargetFunctions* target = call_begin(call, arguments)) {
        call_returned(call, call_init(*target, own_address, reserved1, reserved2));
    }
    bus_trace::write_init_call(log_begin(), own_address, reserved1, reserved2, call.status);
    return call_end(call);
}

BusStatus TAVERIX_CALL gp_cli() { return monitored_plain_call(BusFunction::cli); }

BusStatus TAVERIX_CALL gp_ren() { return monitored_plain_call(BusFunction::ren); }

BusStatus TAVERIX_CALL gp_tmout(std::int32_t timeout) { return monitored_number_call(BusFunction::tmout, timeout); }

BusStatus TAVERIX_CALL gp_clr(const char* address_list) { return monitored_address_call(BusFunction::clr, address_list); }

BusStatus TAVERIX_CALL gp_wait(std::int32_t duration) { return monitored_number_call(BusFunction::wait, duration); }

BusStatus TAVERIX_CALL gp_llo() { return monitored_plain_call(BusFunction::llo); }

BusStatus TAVERIX_CALL gp_wrt(const char* address_list, const char* message) {
    MonitoredCall call;
    if (const TargetFunctions* target = call_begin(call, {BusFunction::wrt, {address_list, message}, 2, {}, 0})) {
        call_returned(call, call_wrt(*target, address_list, message));
    }
    bus_trace::write_wrt_call(log_begin(), address_list, message, call.status);
    return call_end(call);
}

BusStatus TAVERIX_CALL gp_red(const char* address_list, char* reply, std::int32_t size) {
    MonitoredCall call;
    if (const TargetFunctions* target = call_begin(call, {BusFunction::red, {address_list}, 1, {size}, 1})) {
        call_returned(call, call_red(*target, address_list, reply, size));
    }
    bus_trace::write_red_call(log_begin(), address_list, size, call.status, reply,
                              delivered_size(call.status, reply, size));
    return call_end(call);
}

BusStatus TAVERIX_CALL gp_lcl(const char* address_list) { return monitored_address_call(BusFunction::lcl, address_list); }

}  // extern "C"

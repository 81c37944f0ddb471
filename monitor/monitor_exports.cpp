// The ten bus functions as the monitor offers them: each passes the call to the real library
// unchanged, returns what it returned, and logs the call as the simulator's trace would write it.
// Without a working library every call returns the monitor's code instead (monitor_codes.h).
#include <cstring>

#include "bus_call_line.h"
#include "monitor_log.h"
#include "target_calls.h"
#include "target_library.h"

using namespace monitor;
using bus_trace::BusFunction;

namespace {

// Starts the clock and finds the library; target is null when there is none to call.
std::int32_t call_begin(CallClock& clock, const TargetFunctions*& target) {
    call_clock_start(clock);
    const std::int32_t status = target_ready(target);
    call_timing_begin(clock);
    return status;
}

PlainFunction plain_function(const TargetFunctions& target, BusFunction function) {
    switch (function) {
        case BusFunction::cli: return target.cli;
        case BusFunction::ren: return target.ren;
        default: return target.llo;
    }
}

BusStatus monitored_plain_call(BusFunction function) {
    CallClock clock;
    const TargetFunctions* target = nullptr;
    std::int32_t status = call_begin(clock, target);
    if (target) {
        status = call_plain(plain_function(*target, function));
        call_timing_end(clock);
    }
    bus_trace::write_plain_call(log_begin(), function, status);
    log_end_call(clock);
    return status;
}

BusStatus monitored_number_call(BusFunction function, std::int32_t value) {
    CallClock clock;
    const TargetFunctions* target = nullptr;
    std::int32_t status = call_begin(clock, target);
    if (target) {
        status = call_number(function == BusFunction::tmout ? target->tmout : target->wait, value);
        call_timing_end(clock);
    }
    bus_trace::write_number_call(log_begin(), function, value, status);
    log_end_call(clock);
    return status;
}

BusStatus monitored_address_call(BusFunction function, const char* address_list) {
    CallClock clock;
    const TargetFunctions* target = nullptr;
    std::int32_t status = call_begin(clock, target);
    if (target) {
        status = call_address(function == BusFunction::clr ? target->clr : target->lcl, address_list);
        call_timing_end(clock);
    }
    bus_trace::write_address_call(log_begin(), function, address_list, status);
    log_end_call(clock);
    return status;
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
    CallClock clock;
    const TargetFunctions* target = nullptr;
    std::int32_t status = call_begin(clock, target);
    if (target) {
        status = call_init(*target, own_address, reserved1, reserved2);
        call_timing_end(clock);
    }
    bus_trace::write_init_call(log_begin(), own_address, reserved1, reserved2, status);
    log_end_call(clock);
    return status;
}

BusStatus TAVERIX_CALL gp_cli() { return monitored_plain_call(BusFunction::cli); }

BusStatus TAVERIX_CALL gp_ren() { return monitored_plain_call(BusFunction::ren); }

BusStatus TAVERIX_CALL gp_tmout(std::int32_t timeout) { return monitored_number_call(BusFunction::tmout, timeout); }

BusStatus TAVERIX_CALL gp_clr(const char* address_list) { return monitored_address_call(BusFunction::clr, address_list); }

BusStatus TAVERIX_CALL gp_wait(std::int32_t duration) { return monitored_number_call(BusFunction::wait, duration); }

BusStatus TAVERIX_CALL gp_llo() { return monitored_plain_call(BusFunction::llo); }

BusStatus TAVERIX_CALL gp_wrt(const char* address_list, const char* message) {
    CallClock clock;
    const TargetFunctions* target = nullptr;
    std::int32_t status = call_begin(clock, target);
    if (target) {
        status = call_wrt(*target, address_list, message);
        call_timing_end(clock);
    }
    bus_trace::write_wrt_call(log_begin(), address_list, message, status);
    log_end_call(clock);
    return status;
}

BusStatus TAVERIX_CALL gp_red(const char* address_list, char* reply, std::int32_t size) {
    CallClock clock;
    const TargetFunctions* target = nullptr;
    std::int32_t status = call_begin(clock, target);
    if (target) {
        status = call_red(*target, address_list, reply, size);
        call_timing_end(clock);
    }
    bus_trace::write_red_call(log_begin(), address_list, size, status, reply, delivered_size(status, reply, size));
    log_end_call(clock);
    return status;
}

BusStatus TAVERIX_CALL gp_lcl(const char* address_list) { return monitored_address_call(BusFunction::lcl, address_list); }

}  // extern "C"

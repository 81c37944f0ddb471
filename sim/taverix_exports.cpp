// The ten functions of the bus library as the simulator offers them. Each counts the call, fails
// with an injected code if one is due (doing nothing else), otherwise does its work, writes one
// line to the trace and, when the front display is on, hands the front's state to it.
#include <cstdint>

#include "bus_calls.h"
#include "bus_call_line.h"
#include "fault_table.h"
#include "front_display.h"
#include "sim_setup.h"
#include "sim_trace.h"
#include "taverix.h"

using namespace sim;

namespace {

TraceLine line;

// Starts the simulator if need be and counts the call; true when it is to run, false when an
// injected fault has set status instead.
bool call_runs(BusFunction function, std::int32_t& status) {
    sim_start_once();
    return !fault_for_call(function, status);
}

// A call whose only argument is an address list.
BusStatus traced_address_call(BusFunction function, const char* address_list, std::int32_t (*work)(const char*)) {
    std::int32_t status = 0;
    if (call_runs(function, status)) status = work(address_list);
    bus_trace::write_address_call(line, function, address_list, status);
    trace_emit(line);
    front_after_call();
    return status;
}

// A call with no argument.
BusStatus traced_plain_call(BusFunction function, std::int32_t (*work)()) {
    std::int32_t status = 0;
    if (call_runs(function, status)) status = work();
    bus_trace::write_plain_call(line, function, status);
    trace_emit(line);
    front_after_call();
    return status;
}

// A call with one number.
BusStatus traced_number_call(BusFunction function, std::int32_t value, std::int32_t (*work)(std::int32_t)) {
    std::int32_t status = 0;
    if (call_runs(function, status)) status = work(value);
    bus_trace::write_number_call(line, function, value, status);
    trace_emit(line);
    front_after_call();
    return status;
}

}  // namespace

extern "C" {

BusStatus TAVERIX_CALL gp_init(std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2) {
    std::int32_t status = 0;
    if (call_runs(BusFunction::init, status)) status = bus_init(own_address);
    bus_trace::write_init_call(line, own_address, reserved1, reserved2, status);
    trace_emit(line);
    front_after_call();
    return status;
}

BusStatus TAVERIX_CALL gp_cli() { return traced_plain_call(BusFunction::cli, bus_interface_clear); }

BusStatus TAVERIX_CALL gp_ren() { return traced_plain_call(BusFunction::ren, bus_remote_enable); }

BusStatus TAVERIX_CALL gp_tmout(std::int32_t timeout) { return traced_number_call(BusFunction::tmout, timeout, bus_set_timeout); }

BusStatus TAVERIX_CALL gp_clr(const char* address_list) {
    return traced_address_call(BusFunction::clr, address_list, bus_device_clear);
}

BusStatus TAVERIX_CALL gp_wait(std::int32_t duration) { return traced_number_call(BusFunction::wait, duration, bus_wait); }

BusStatus TAVERIX_CALL gp_llo() { return traced_plain_call(BusFunction::llo, bus_local_lockout); }

BusStatus TAVERIX_CALL gp_wrt(const char* address_list, const char* message) {
    std::int32_t status = 0;
    const bool runs = call_runs(BusFunction::wrt, status);
    if (runs) status = bus_write(address_list, message);
    bus_trace::write_wrt_call(line, address_list, message, status);
    trace_emit(line);
    front_after_write(runs && status == 0, message);
    front_after_call();
    return status;
}

// The line ends with the text delivered into the buffer ("" when nothing was delivered).
BusStatus TAVERIX_CALL gp_red(const char* address_list, char* reply, std::int32_t size) {
    std::int32_t status = 0;
    std::size_t delivered = 0;
    const bool runs = call_runs(BusFunction::red, status);
    if (runs) status = bus_read(address_list, reply, size, delivered);
    bus_trace::write_red_call(line, address_list, size, status, reply, delivered);
    trace_emit(line);
    front_after_read(runs && status == 0, reply, delivered);
    front_after_call();
    return status;
}

BusStatus TAVERIX_CALL gp_lcl(const char* address_list) {
    return traced_address_call(BusFunction::lcl, address_list, bus_go_to_local);
}

}  // extern "C"

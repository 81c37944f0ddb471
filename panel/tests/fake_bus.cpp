#include "fake_bus.h"

#include <cstring>
#include <map>

namespace {

std::string trace;
std::map<std::string, BusStatus> failing_functions;
std::map<std::string, BusStatus> failing_writes;
std::string self_test_reply = "0\n";
std::string pending_reply;

BusStatus record(const std::string& function, const std::string& arguments) {
    const auto failing = failing_functions.find(function);
    const BusStatus status = failing == failing_functions.end() ? 0 : failing->second;
    trace += function + "(" + arguments + ") = " + std::to_string(status) + "\n";
    return status;
}

std::string quoted(const char* text) { return std::string("\"") + text + "\""; }

std::string reply_to(const std::string& query) {
    if (query == ":FUNC?") return "SIN\n";
    if (query == ":AMPL?") return "+3.000000E+00\n";
    if (query == ":FREQ?") return "+1.000000E+03\n";
    if (query == "*TST?") return self_test_reply;
    return "";
}

}  // namespace

void fake_bus_reset() {
    trace.clear();
    failing_functions.clear();
    failing_writes.clear();
    self_test_reply = "0\n";
    pending_reply.clear();
}

void fake_bus_fail(const std::string& function, BusStatus status) { failing_functions[function] = status; }

void fake_bus_fail_write(const std::string& message, BusStatus status) { failing_writes[message] = status; }

void fake_bus_self_test_reply(const std::string& reply) { self_test_reply = reply; }

const std::string& fake_bus_trace() { return trace; }

extern "C" {
BusStatus TAVERIX_CALL gp_init(std::uint16_t own, std::int32_t a, std::int32_t b) {
    return record("gp_init", std::to_string(own) + ", " + std::to_string(a) + ", " + std::to_string(b));
}
BusStatus TAVERIX_CALL gp_cli() { return record("gp_cli", ""); }
BusStatus TAVERIX_CALL gp_ren() { return record("gp_ren", ""); }
BusStatus TAVERIX_CALL gp_tmout(std::int32_t timeout) { return record("gp_tmout", std::to_string(timeout)); }
BusStatus TAVERIX_CALL gp_clr(const char* address) { return record("gp_clr", quoted(address)); }
BusStatus TAVERIX_CALL gp_wait(std::int32_t duration) { return record("gp_wait", std::to_string(duration)); }
BusStatus TAVERIX_CALL gp_llo() { return record("gp_llo", ""); }
BusStatus TAVERIX_CALL gp_wrt(const char* address, const char* message) {
    const auto failing = failing_writes.find(message);
    if (failing != failing_writes.end()) {
        trace += "gp_wrt(" + quoted(address) + ", " + quoted(message) + ") = " + std::to_string(failing->second) + "\n";
        pending_reply.clear();
        return failing->second;
    }
    pending_reply = reply_to(message);
    return record("gp_wrt", quoted(address) + ", " + quoted(message));
}
BusStatus TAVERIX_CALL gp_red(const char* address, char* reply, std::int32_t size) {
    std::strncpy(reply, pending_reply.c_str(), static_cast<std::size_t>(size) - 1);
    pending_reply.clear();
    return record("gp_red", quoted(address) + ", " + std::to_string(size));
}
BusStatus TAVERIX_CALL gp_lcl(const char* address) { return record("gp_lcl", quoted(address)); }
}

#include "bus_stub.h"

#include <cstring>

#include "taverix.h"

BusCalls bus_calls;

void bus_stub_reset() { std::memset(&bus_calls, 0, sizeof bus_calls); }

extern "C" {

BusStatus TAVERIX_CALL gp_init(std::uint16_t, std::int32_t, std::int32_t) { return 0; }
BusStatus TAVERIX_CALL gp_cli() { return 0; }
BusStatus TAVERIX_CALL gp_ren() { return 0; }
BusStatus TAVERIX_CALL gp_tmout(std::int32_t) { return 0; }
BusStatus TAVERIX_CALL gp_clr(const char*) { return 0; }
BusStatus TAVERIX_CALL gp_wait(std::int32_t) { return 0; }
BusStatus TAVERIX_CALL gp_llo() { return 0; }
BusStatus TAVERIX_CALL gp_lcl(const char*) { return 0; }

BusStatus TAVERIX_CALL gp_wrt(const char*, const char* message) {
    if (bus_calls.writes++ == 0) {
        bus_calls.first_message_length = std::strlen(message);
        std::strncpy(bus_calls.first_message, message, stub_message_size - 1);
    }
    return 0;
}

BusStatus TAVERIX_CALL gp_red(const char*, char* reply, std::int32_t size) {
    ++bus_calls.reads;
    std::memset(reply, 'R', static_cast<std::size_t>(size));
    return 0;
}

}  // extern "C"

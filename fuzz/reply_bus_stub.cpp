#include "reply_bus_stub.h"

#include <cstring>

#include "taverix.h"

ReplyBus reply_bus;

extern "C" {

BusStatus TAVERIX_CALL gp_init(std::uint16_t, std::int32_t, std::int32_t) {
    ++reply_bus.calls;
    return 0;
}
BusStatus TAVERIX_CALL gp_cli() {
    ++reply_bus.calls;
    return 0;
}
BusStatus TAVERIX_CALL gp_ren() {
    ++reply_bus.calls;
    return 0;
}
BusStatus TAVERIX_CALL gp_tmout(std::int32_t) {
    ++reply_bus.calls;
    return 0;
}
BusStatus TAVERIX_CALL gp_wait(std::int32_t) {
    ++reply_bus.calls;
    return 0;
}
BusStatus TAVERIX_CALL gp_llo() {
    ++reply_bus.calls;
    return 0;
}
BusStatus TAVERIX_CALL gp_lcl(const char*) {
    ++reply_bus.calls;
    return 0;
}

BusStatus TAVERIX_CALL gp_clr(const char*) {
    ++reply_bus.calls;
    ++reply_bus.clears;
    reply_bus.reply_left.clear();
    return 0;
}

BusStatus TAVERIX_CALL gp_wrt(const char* address, const char* message) {
    ++reply_bus.calls;
    ++reply_bus.writes;
    reply_bus.written = message;
    reply_bus.reply_left = reply_to(address, message);
    return 0;
}

BusStatus TAVERIX_CALL gp_red(const char*, char* reply, std::int32_t size) {
    ++reply_bus.calls;
    std::string& left = reply_bus.reply_left;
    if (left.empty()) return 4;
    const std::size_t n = left.size() < static_cast<std::size_t>(size) - 1 ? left.size() : size - 1;
    std::memcpy(reply, left.data(), n);
    reply[n] = '\0';
    left.erase(0, n);
    return 0;
}

}  // extern "C"

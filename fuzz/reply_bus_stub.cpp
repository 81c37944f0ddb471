#include "reply_bus_stub.h"

#include <cstring>

#include "taverix.h"

ReplyBus reply_bus;

std::string& reply_left_at(const char* address) {
    int a = 0;
    for (const char* c = address; a <= 30 && *c != '\0'; ++c) a = *c >= '0' && *c <= '9' ? a * 10 + (*c - '0') : 31;
    return reply_bus.reply_left[a <= 30 && address[0] != '\0' ? a : 31];
}

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

BusStatus TAVERIX_CALL gp_clr(const char* address) {
    ++reply_bus.calls;
    ++reply_bus.clears;
    reply_left_at(address).clear();
    return 0;
}

BusStatus TAVERIX_CALL gp_wrt(const char* address, const char* message) {
    ++reply_bus.calls;
    ++reply_bus.writes;
    reply_bus.written = message;
    reply_left_at(address) = reply_to(address, message);
    return 0;
}

BusStatus TAVERIX_CALL gp_red(const char* address, char* reply, std::int32_t size) {
    ++reply_bus.calls;
    std::string& left = reply_left_at(address);
    if (left.empty()) return 4;
    const std::size_t n = left.size() < static_cast<std::size_t>(size) - 1 ? left.size() : size - 1;
    std::memcpy(reply, left.data(), n);
    reply[n] = '\0';
    left.erase(0, n);
    return 0;
}

}  // extern "C"

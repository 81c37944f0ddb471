#include "bus_link.h"


#include "program_values.h"
#include "bus_calls.h"
#include "text_buffer.h"

namespace {

constexpr const char* bring_up_done_text = "初期化正常終了";
constexpr std::int32_t bus_timeout = 5;
constexpr std::int32_t settle_wait = 1;

LinkResult bring_up(const char* address_text, bool lockout) {
    text_copy_cut(device_address, address_text);

    if (BusStatus s = taverix::gp_init(own_address, 0, 0); s != 0) return bus_call_failure("gp_init() error [%d]\n", s);
    taverix::gp_cli();
    taverix::gp_ren();
    if (BusStatus s = taverix::gp_tmout(bus_timeout); s != 0) return bus_call_failure("gp_tmout() error [%d]", s);
    if (BusStatus s = taverix::gp_clr(device_address); s != 0) return bus_call_failure("gp_clr error [%d]\n", s);
    taverix::gp_wait(settle_wait);
    if (lockout) {
        if (BusStatus s = taverix::gp_llo(); s != 0) return bus_call_failure("gp_llo() error [%d]\n", s);
    }
    return {true, bring_up_done_text};
}

}  // namespace

LinkResult bus_bring_up(const char* address_text) { return bring_up(address_text, true); }

LinkResult bus_bring_up_without_lockout(const char* address_text) { return bring_up(address_text, false); }

void bus_release() { taverix::gp_lcl(""); }

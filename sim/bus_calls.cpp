#include "bus_calls.h"

#include <chrono>
#include <string_view>
#include <thread>

#include "bus_state.h"
#include "config_text.h"
#include "instrument.h"
#include "sim_codes.h"

namespace sim {

namespace {

constexpr std::uint16_t own_address_min = 1;
constexpr std::uint16_t own_address_max = 30;
constexpr std::uint64_t gpib_address_max = 30;

// Configuration.
int instrument_address = default_instrument_address;
std::int32_t timeout_unit_ms = default_timeout_unit_ms;
std::int32_t reply_delay_ms = 0;

// When the reply to the last message written becomes readable.
std::chrono::steady_clock::time_point reply_ready_at;

// The bus.
bool initialised = false;
std::int32_t timeout = default_timeout;
bool remote_enable = false;
bool lockout = false;
bool instrument_remote = false;

enum class Listeners { all, instrument, none };

Listeners listeners_of(const char* address_list) {
    const std::string_view list(address_list);
    if (list.empty()) return Listeners::all;
    std::uint64_t address = 0;
    if (!read_unsigned(list, gpib_address_max, address)) return Listeners::none;
    return static_cast<int>(address) == instrument_address ? Listeners::instrument : Listeners::none;
}

// Addressed to listen while remote enable is asserted, the instrument goes remote.
void address_to_listen() {
    if (remote_enable) instrument_remote = true;
}

void wait_ms(std::int64_t ms) {
    if (ms > longest_wait_ms) ms = longest_wait_ms;
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

// ---- configuration and state ----
void bus_power_up() {
    initialised = false;
    timeout = default_timeout;
    remote_enable = false;
    lockout = false;
    instrument_remote = false;
}

void bus_set_instrument_address(int address) { instrument_address = address; }

int bus_instrument_address() { return instrument_address; }

void bus_set_timeout_unit_ms(std::int32_t unit_ms) { timeout_unit_ms = unit_ms; }

void bus_set_reply_delay_ms(std::int32_t delay_ms) { reply_delay_ms = delay_ms; }

RemoteState bus_remote_state() {
    if (instrument_remote) return lockout ? RemoteState::remote_with_lockout : RemoteState::remote;
    return lockout ? RemoteState::local_with_lockout : RemoteState::local;
}

// ---- the ten functions ----

// Opens the interface. Again after the first time it starts the bus afresh (time-out back to its
// default, remote enable and lockout released), while the instrument keeps its settings.
std::int32_t bus_init(std::uint16_t own_address) {
    if (own_address < own_address_min || own_address > own_address_max) return sim_code::bad_argument;
    bus_power_up();
    initialised = true;
    return sim_code::ok;
}

std::int32_t bus_interface_clear() { return initialised ? sim_code::ok : sim_code::not_initialised; }

std::int32_t bus_remote_enable() {
    if (!initialised) return sim_code::not_initialised;
    remote_enable = true;
    return sim_code::ok;
}

std::int32_t bus_set_timeout(std::int32_t value) {
    if (!initialised) return sim_code::not_initialised;
    if (value < 0) return sim_code::bad_argument;
    timeout = value;
    return sim_code::ok;
}

std::int32_t bus_device_clear(const char* address_list) {
    if (!initialised) return sim_code::not_initialised;
    if (!address_list) return sim_code::bad_argument;
    switch (listeners_of(address_list)) {
        case Listeners::all:
            if (instrument_address != no_instrument) instrument_device_clear();
            return sim_code::ok;
        case Listeners::instrument:
            address_to_listen();
            instrument_device_clear();
            return sim_code::ok;
        case Listeners::none: break;
    }
    return sim_code::no_listener;
}

std::int32_t bus_wait(std::int32_t duration_ms) {
    if (!initialised) return sim_code::not_initialised;
    if (duration_ms < 0) return sim_code::bad_argument;
    wait_ms(duration_ms);
    return sim_code::ok;
}

std::int32_t bus_local_lockout() {
    if (!initialised) return sim_code::not_initialised;
    lockout = true;
    return sim_code::ok;
}

std::int32_t bus_write(const char* address_list, const char* message) {
    if (!initialised) return sim_code::not_initialised;
    if (!address_list || !message) return sim_code::bad_argument;
    if (listeners_of(address_list) != Listeners::instrument) return sim_code::no_listener;
    address_to_listen();
    instrument_receive(message);
    reply_ready_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(reply_delay_ms);
    return sim_code::ok;
}

// With no reply pending the read waits out the time-out and fails. A reply that becomes readable
// within the time-out is waited for; one that comes later stays pending after the failed read.
std::int32_t bus_read(const char* address_list, char* reply, std::int32_t size, std::size_t& delivered) {
    delivered = 0;
    if (!initialised) return sim_code::not_initialised;
    if (!address_list || !reply || size <= 0) return sim_code::bad_argument;
    if (listeners_of(address_list) != Listeners::instrument) return sim_code::no_listener;
    std::int64_t timeout_ms = static_cast<std::int64_t>(timeout) * timeout_unit_ms;
    if (timeout_ms > longest_wait_ms) timeout_ms = longest_wait_ms;
    if (instrument_reply_pending()) {
        using namespace std::chrono;
        const std::int64_t not_ready_ms =
            duration_cast<milliseconds>(reply_ready_at - steady_clock::now() + microseconds(999)).count();
        if (not_ready_ms > timeout_ms) {
            wait_ms(timeout_ms);
            return sim_code::timeout;
        }
        wait_ms(not_ready_ms);
    }
    if (instrument_send_reply(reply, static_cast<std::size_t>(size), delivered)) return sim_code::ok;
    wait_ms(timeout_ms);
    return sim_code::timeout;
}

// The empty list releases remote enable: every instrument goes local and lockout ends. One
// address sends that instrument to local; lockout stays.
std::int32_t bus_go_to_local(const char* address_list) {
    if (!initialised) return sim_code::not_initialised;
    if (!address_list) return sim_code::bad_argument;
    switch (listeners_of(address_list)) {
        case Listeners::all:
            remote_enable = false;
            lockout = false;
            instrument_remote = false;
            return sim_code::ok;
        case Listeners::instrument:
            instrument_remote = false;
            return sim_code::ok;
        case Listeners::none: break;
    }
    return sim_code::no_listener;
}

}  // namespace sim

#include "sim_setup.h"

#include <cstdlib>
#include <string_view>

#include "bus_state.h"
#include "config_text.h"
#include "fault_table.h"
#include "front_display.h"
#include "front_state.h"
#include "instrument.h"
#include "reply_table.h"
#include "scpi_text.h"
#include "sim_trace.h"

namespace sim {

namespace {

constexpr const char* address_variable = "TAVERIX_SIM_ADDRESS";
constexpr const char* trace_variable = "TAVERIX_SIM_TRACE";
constexpr const char* faults_variable = "TAVERIX_SIM_FAULTS";
constexpr const char* self_test_variable = "TAVERIX_SIM_SELFTEST";
constexpr const char* replies_variable = "TAVERIX_SIM_REPLIES";
constexpr const char* no_reply_variable = "TAVERIX_SIM_NO_REPLY";
constexpr const char* full_reads_variable = "TAVERIX_SIM_FULL_READS";
constexpr const char* timeout_variable = "TAVERIX_SIM_TIMEOUT_MS";
constexpr const char* reply_delay_variable = "TAVERIX_SIM_REPLY_DELAY_MS";
constexpr const char* display_variable = "TAVERIX_SIM_DISPLAY";

// The trace file comes first, so that remarks on the other variables reach it.
constexpr const char* variables[] = {
    trace_variable, address_variable, faults_variable, self_test_variable,
    replies_variable, no_reply_variable, full_reads_variable, timeout_variable, reply_delay_variable, display_variable,
};

constexpr std::uint64_t gpib_address_max = 30;

bool started = false;

bool absent(const char* value) { return value == nullptr || value[0] == '\0'; }

// Anything but a plain decimal address 0-30 leaves no instrument on the bus.
void apply_address(const char* value) {
    std::uint64_t address = 0;
    if (absent(value)) {
        bus_set_instrument_address(default_instrument_address);
    } else if (read_unsigned(value, gpib_address_max, address)) {
        bus_set_instrument_address(static_cast<int>(address));
    } else {
        trace_note(address_variable, "not an address 0-30, no instrument listens:", value);
        bus_set_instrument_address(no_instrument);
    }
}

void apply_self_test(const char* value) {
    const bool fails = !absent(value) && same_letters(value, "fail");
    if (!absent(value) && !fails && !same_letters(value, "pass")) {
        trace_note(self_test_variable, "neither fail nor pass, taken as pass:", value);
    }
    instrument_set_self_test_fails(fails);
}

void apply_no_reply(const char* value) {
    const std::string_view text = value ? value : "";
    if (text != "" && text != "0" && text != "1") trace_note(no_reply_variable, "neither 0 nor 1, taken as 0:", text);
    instrument_set_silent(text == "1");
}

void apply_full_reads(const char* value) {
    const std::string_view text = value ? value : "";
    if (text != "" && text != "0" && text != "1") trace_note(full_reads_variable, "neither 0 nor 1, taken as 0:", text);
    instrument_set_full_reads(text == "1");
}

void apply_display(const char* value) {
    const std::string_view text = value ? value : "";
    if (text != "" && text != "0" && text != "1") trace_note(display_variable, "neither 0 nor 1, taken as 0:", text);
    front_display_enable(text == "1");
}

void apply_timeout_unit(const char* value) {
    std::uint64_t unit_ms = default_timeout_unit_ms;
    if (!absent(value) && !read_unsigned(value, static_cast<std::uint64_t>(longest_wait_ms), unit_ms)) {
        trace_note(timeout_variable, "not milliseconds 0-60000, taken as 100:", value);
        unit_ms = default_timeout_unit_ms;
    }
    bus_set_timeout_unit_ms(static_cast<std::int32_t>(unit_ms));
}

void apply_reply_delay(const char* value) {
    std::uint64_t delay_ms = 0;
    if (!absent(value) && !read_unsigned(value, static_cast<std::uint64_t>(longest_wait_ms), delay_ms)) {
        trace_note(reply_delay_variable, "not milliseconds 0-60000, taken as 0:", value);
        delay_ms = 0;
    }
    bus_set_reply_delay_ms(static_cast<std::int32_t>(delay_ms));
}

void apply_trace(const char* value) {
    if (!trace_set_file(absent(value) ? nullptr : value)) {
        trace_note(trace_variable, "path too long, no trace file:", value);
    }
}

}  // namespace

void sim_apply_variable(const char* name, const char* value) {
    const std::string_view variable = name ? name : "";
    if (variable == trace_variable) {
        apply_trace(value);
    } else if (variable == address_variable) {
        apply_address(value);
    } else if (variable == faults_variable) {
        faults_configure(value);
    } else if (variable == self_test_variable) {
        apply_self_test(value);
    } else if (variable == replies_variable) {
        replies_configure(value);
    } else if (variable == no_reply_variable) {
        apply_no_reply(value);
    } else if (variable == full_reads_variable) {
        apply_full_reads(value);
    } else if (variable == timeout_variable) {
        apply_timeout_unit(value);
    } else if (variable == reply_delay_variable) {
        apply_reply_delay(value);
    } else if (variable == display_variable) {
        apply_display(value);
    } else {
        trace_note("taverix_sim_set", "unknown variable, ignored:", variable);
    }
}

void sim_reset_from_environment() {
    started = true;
    trace_clear_memory();
    faults_clear_counts();
    bus_power_up();
    instrument_power_up();
    front_forget_exchanges();
    for (const char* name : variables) sim_apply_variable(name, std::getenv(name));
}

void sim_start_once() {
    if (!started) sim_reset_from_environment();
}

}  // namespace sim

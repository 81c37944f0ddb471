#include "instrument.h"

#include <cstring>

#include "error_queue.h"
#include "reply_table.h"
#include "scpi_text.h"

namespace sim {

namespace {

constexpr InstrumentSettings power_up_settings{Waveform::sine, 1000.0, 3.0, false, false};

constexpr double frequency_min = 1e-6;
constexpr double frequency_max = 30e6;
constexpr double amplitude_min = 0.001;
constexpr double amplitude_max = 10.0;

constexpr const char* identity = "QX-SIM,QX-7316,0,1.00";

InstrumentSettings settings = power_up_settings;
bool self_test_fails = false;
bool silent = false;
bool full_reads = false;

// The output queue: one reply, read from read_at on.
constexpr std::size_t reply_capacity = 4096;
char reply[reply_capacity];
std::size_t reply_size = 0;
std::size_t read_at = 0;
bool reply_pending = false;

enum class Command { function, frequency, amplitude, offset_state, output, system_error, reset, clear_status, identify, self_test, operation_complete };

struct CommandEntry {
    std::string_view pattern;
    Command command;
    bool settable;   // has a command form taking a parameter (or none, for common commands)
    bool queryable;  // has a query form
};

constexpr CommandEntry commands[] = {
    {"FUNCtion", Command::function, true, true},
    {"FREQuency", Command::frequency, true, true},
    {"AMPLitude", Command::amplitude, true, true},
    {"OFFSet:STATe", Command::offset_state, true, true},
    {"OUTPut", Command::output, true, true},
    {"OUTPut:STATe", Command::output, true, true},
    {"SYSTem:ERRor", Command::system_error, false, true},
    {"SYSTem:ERRor:NEXT", Command::system_error, false, true},
    {"*RST", Command::reset, true, false},
    {"*CLS", Command::clear_status, true, false},
    {"*IDN", Command::identify, false, true},
    {"*TST", Command::self_test, false, true},
    {"*OPC", Command::operation_complete, false, true},
};

// Takes a parameter for common commands, which have none.
bool takes_parameter(Command command) { return command != Command::reset && command != Command::clear_status; }

struct WaveformName {
    std::string_view pattern;
    std::string_view reply;
    Waveform waveform;
};

constexpr WaveformName waveform_names[] = {
    {"SINusoid", "SIN", Waveform::sine}, {"TRIangle", "TRI", Waveform::triangle}, {"SQUare", "SQU", Waveform::square},
    {"PULSe", "PULS", Waveform::pulse},  {"RAMP", "RAMP", Waveform::ramp},         {"DC", "DC", Waveform::dc},
};

// ---- the reply being built ----
bool reply_started = false;

// Appends what fits below limit; answers stop one byte short, so the closing line feed always fits.
void reply_append(std::string_view text, std::size_t limit = reply_capacity) {
    const std::size_t room = limit > reply_size ? limit - reply_size : 0;
    const std::size_t n = text.size() < room ? text.size() : room;
    std::memcpy(reply + reply_size, text.data(), n);
    reply_size += n;
}

void answer(std::string_view text) {
    if (reply_started) reply_append(";", reply_capacity - 1);
    reply_started = true;
    reply_append(text, reply_capacity - 1);
}

void answer_real(double value) {
    char text[64];
    format_real(value, text, sizeof text);
    answer(text);
}

// ---- parameters ----
bool read_boolean(std::string_view text, bool& value) {
    if (same_letters(text, "ON") || text == "1") {
        value = true;
    } else if (same_letters(text, "OFF") || text == "0") {
        value = false;
    } else {
        return false;
    }
    return true;
}

void set_waveform(std::string_view parameter) {
    for (const auto& name : waveform_names) {
        if (header_matches(name.pattern, parameter)) {
            settings.waveform = name.waveform;
            return;
        }
    }
    error_push(scpi_error::illegal_parameter_value);
}

void set_number(std::string_view parameter, double min, double max, double& setting) {
    double value = 0;
    if (!read_decimal(parameter, value)) {
        error_push(scpi_error::data_type_error);
    } else if (value < min || value > max) {
        error_push(scpi_error::data_out_of_range);
    } else {
        setting = value;
    }
}

void set_switch(std::string_view parameter, bool& setting) {
    if (!read_boolean(parameter, setting)) error_push(scpi_error::illegal_parameter_value);
}

std::string_view waveform_reply(Waveform waveform) {
    for (const auto& name : waveform_names) {
        if (name.waveform == waveform) return name.reply;
    }
    return "SIN";
}

// ---- carrying out one unit ----
void run_command(Command command, std::string_view parameter) {
    switch (command) {
        case Command::function: set_waveform(parameter); break;
        case Command::frequency: set_number(parameter, frequency_min, frequency_max, settings.frequency); break;
        case Command::amplitude: set_number(parameter, amplitude_min, amplitude_max, settings.amplitude); break;
        case Command::offset_state: set_switch(parameter, settings.offset_on); break;
        case Command::output: set_switch(parameter, settings.output_on); break;
        case Command::reset: settings = power_up_settings; break;
        case Command::clear_status: errors_clear(); break;
        default: break;
    }
}

void run_query(Command command) {
    char text[128];
    switch (command) {
        case Command::function: answer(waveform_reply(settings.waveform)); break;
        case Command::frequency: answer_real(settings.frequency); break;
        case Command::amplitude: answer_real(settings.amplitude); break;
        case Command::offset_state: answer(settings.offset_on ? "1" : "0"); break;
        case Command::output: answer(settings.output_on ? "1" : "0"); break;
        case Command::system_error:
            error_pop_text(text, sizeof text);
            answer(text);
            break;
        case Command::identify: answer(identity); break;
        case Command::self_test: answer(self_test_fails ? "1" : "0"); break;
        case Command::operation_complete: answer("1"); break;
        default: break;
    }
}

const CommandEntry* find_command(std::string_view header) {
    for (const auto& entry : commands) {
        const bool common = entry.pattern.front() == '*';
        if (common ? same_letters(entry.pattern, header) : header_matches(entry.pattern, header)) return &entry;
    }
    return nullptr;
}

void run_unit(std::string_view unit) {
    unit = trim_message(unit);
    if (unit.empty()) return;
    std::size_t header_end = 0;
    while (header_end < unit.size() && unit[header_end] != ' ' && unit[header_end] != '\t') ++header_end;
    std::string_view header = unit.substr(0, header_end);
    const std::string_view parameter = trim_message(unit.substr(header_end));
    if (!header.empty() && header.front() == ':') header.remove_prefix(1);
    const bool query = !header.empty() && header.back() == '?';
    if (query) header.remove_suffix(1);

    const CommandEntry* entry = find_command(header);
    if (!entry || (query && !entry->queryable) || (!query && !entry->settable)) {
        error_push(scpi_error::undefined_header);
    } else if (query) {
        if (!parameter.empty()) {
            error_push(scpi_error::parameter_not_allowed);
        } else {
            run_query(entry->command);
        }
    } else if (takes_parameter(entry->command) && parameter.empty()) {
        error_push(scpi_error::missing_parameter);
    } else if (!takes_parameter(entry->command) && !parameter.empty()) {
        error_push(scpi_error::parameter_not_allowed);
    } else {
        run_command(entry->command, parameter);
    }
}

void forget_reply() {
    reply_size = 0;
    read_at = 0;
    reply_pending = false;
}

}  // namespace

void instrument_power_up() {
    settings = power_up_settings;
    errors_clear();
    forget_reply();
}

void instrument_set_self_test_fails(bool fails) { self_test_fails = fails; }

void instrument_set_silent(bool is_silent) { silent = is_silent; }

void instrument_set_full_reads(bool full) { full_reads = full; }

// ---- a message from the bus ----
void instrument_receive(std::string_view message) {
    if (reply_pending) error_push(scpi_error::query_interrupted);
    forget_reply();

    const char* chosen = nullptr;
    std::size_t chosen_size = 0;
    if (reply_for_message(message, chosen, chosen_size)) {
        if (silent) return;
        reply_append(std::string_view(chosen, chosen_size));
        reply_pending = true;
        return;
    }

    reply_started = false;
    std::string_view rest = message;
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        run_unit(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
    if (reply_started && !silent) {
        reply_append("\n");
        reply_pending = true;
    } else {
        forget_reply();
    }
}

void instrument_device_clear() { forget_reply(); }

bool instrument_send_reply(char* buffer, std::size_t size, std::size_t& delivered) {
    delivered = 0;
    if (!buffer || size == 0) return false;
    if (!reply_pending) {
        error_push(scpi_error::query_unterminated);
        return false;
    }
    const std::size_t remaining = reply_size - read_at;
    const std::size_t room = full_reads ? size : size - 1;
    delivered = remaining < room ? remaining : room;
    std::memcpy(buffer, reply + read_at, delivered);
    if (delivered < size) buffer[delivered] = '\0';
    read_at += delivered;
    if (read_at == reply_size) forget_reply();
    return true;
}

bool instrument_reply_pending() { return reply_pending; }

const InstrumentSettings& instrument_settings() { return settings; }

}  // namespace sim

// Fuzz target: the number texts against glibc's strtod and snprintf, and the settings message
// against what it must hold. Input: one byte choosing the waveform, then the frequency entry, a
// zero byte and the amplitude entry. The eight bytes after the first are also taken as a double,
// whose "%f" text is checked too.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "bus_stub.h"
#include "instrument_messages.h"
#include "number_text.h"
#include "program_values.h"

namespace {

constexpr std::size_t entry_max = 255;   // what the panel's entries can hold
constexpr std::size_t message_max = text_buffer_size - 1;

[[noreturn]] void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n  %s\n", what, detail.c_str());
    std::abort();
}

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The part of text that the entry rules take as a number, in the spelling strtod reads: the
// exponent letter always e. Empty when there is no number.
std::string accepted_prefix(const char* text) {
    std::size_t i = 0;
    while (is_blank(text[i])) ++i;
    const std::size_t start = i;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    while (is_digit(text[i])) ++i, ++digits;
    if (text[i] == '.') {
        ++i;
        while (is_digit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return "";
    std::string prefix(text + start, i - start);
    if (std::strchr("eEdD", text[i]) != nullptr && text[i] != '\0') {
        std::size_t j = i + 1;
        if (text[j] == '+' || text[j] == '-') ++j;
        if (is_digit(text[j])) {
            while (is_digit(text[j])) ++j;
            prefix += 'e';
            prefix.append(text + i + 1, j - i - 1);
        }
    }
    return prefix;
}

std::uint64_t bits(double value) {
    std::uint64_t b = 0;
    std::memcpy(&b, &value, sizeof b);
    return b;
}

// ----- Conversion: the same double, bit for bit, as glibc's strtod of the accepted prefix -------
void check_conversion(const char* text) {
    const std::string prefix = accepted_prefix(text);
    double expected = 0.0;
    if (!prefix.empty()) {
        char* end = nullptr;
        expected = std::strtod(prefix.c_str(), &end);
        if (end != prefix.c_str() + prefix.size()) fail("strtod did not read the whole prefix", prefix);
    }
    const double actual = number_from_text(text);
    if (bits(actual) != bits(expected)) {
        char detail[128];
        std::snprintf(detail, sizeof detail, "read %a, strtod %a, prefix: ", actual, expected);
        fail("conversion differs from strtod", detail + prefix.substr(0, 2000));
    }
}

// ----- Writing: the same bytes as glibc's "%f", zero without a sign, or refused -----------------
void check_format(double value) {
    char expected[400] = {};
    bool fits = false;
    if (std::isfinite(value)) {
        const int length = std::snprintf(expected, sizeof expected, "%f", value == 0.0 ? 0.0 : value);
        fits = length > 0 && static_cast<std::size_t>(length) <= message_max;
    }
    const bool written = format_number(value);
    if (written != fits) {
        char detail[64];
        std::snprintf(detail, sizeof detail, "%a: %s", value, written ? "written" : "refused");
        fail("format_number refused or wrote against snprintf", detail);
    }
    if (written ? std::strcmp(scratch_text, expected) != 0 : scratch_text[0] != '\0') {
        char detail[64];
        std::snprintf(detail, sizeof detail, "%a", value);
        fail("format_number differs from snprintf", std::string(detail) + ": " + scratch_text + " against " + expected);
    }
}

// Bytes "%f" takes for value, zero written without its sign; 0 when it is not finite.
std::size_t printed_length(double value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<std::size_t>(std::snprintf(nullptr, 0, "%f", value == 0.0 ? 0.0 : value));
}

const char* const units[] = {":FUNC SIN", ":FUNC TRI", ":FUNC SQU", ":FUNC PULS", ":FUNC RAMP", ":FUNC DC"};

// A number as the message carries it: an optional minus, digits, a point and six digits, close
// to the value it stands for.
void check_number_text(const std::string& text, double value, const std::string& message) {
    std::size_t i = text[0] == '-' ? 1 : 0;
    const std::size_t first_digit = i;
    while (i < text.size() && is_digit(text[i])) ++i;
    if (i == first_digit || text.size() != i + 7 || text[i] != '.') fail("number not in %f form", message);
    for (std::size_t k = i + 1; k < text.size(); ++k) {
        if (!is_digit(text[k])) fail("number not in %f form", message);
    }
    if ((text[0] == '-') != (value < 0)) fail("sign of a number", message);
    const double read = std::strtod(text.c_str(), nullptr);
    // Six digits after the point are within half a millionth, give or take the rounding of the
    // two doubles compared.
    const double tolerance = 5e-7 + 4 * std::numeric_limits<double>::epsilon() * std::fabs(value);
    if (std::fabs(read - value) > tolerance) fail("number does not stand for its value", message);
}

// Splits message at the fixed units and checks the two numbers.
void check_message_parses(const std::string& message, const std::string& unit, double frequency, double amplitude) {
    const std::string head = unit + ";:FREQ ";
    const std::string middle = ";:OFFS:STAT OFF;:AMPL ";
    const std::string tail = ";:OUTP ON";
    if (message.compare(0, head.size(), head) != 0) fail("message head", message);
    const std::size_t middle_at = message.find(middle, head.size());
    if (middle_at == std::string::npos) fail("message middle", message);
    if (message.size() < tail.size() || message.compare(message.size() - tail.size(), tail.size(), tail) != 0) {
        fail("message tail", message);
    }
    const std::size_t amplitude_at = middle_at + middle.size();
    if (amplitude_at > message.size() - tail.size()) fail("message layout", message);
    check_number_text(message.substr(head.size(), middle_at - head.size()), frequency, message);
    check_number_text(message.substr(amplitude_at, message.size() - tail.size() - amplitude_at), amplitude, message);
}

int read_backs = 0;

void count_read_back(ReadBack, const char* text, void*) {
    ++read_backs;
    if (std::strlen(text) != message_max) fail("read-back not cut at the buffer's last byte", text);
}

// ----- Composition: refused exactly when a number is infinite or does not fit -----------------
void check_settings(int waveform, const char* frequency_text, const char* amplitude_text) {
    const double frequency = number_from_text(frequency_text);
    const double amplitude = number_from_text(amplitude_text);
    const std::size_t unit = std::strlen(units[waveform]);
    const std::size_t frequency_length = printed_length(frequency);
    const std::size_t amplitude_length = printed_length(amplitude);

    ComposeResult expected = ComposeResult::ok;
    if (frequency_length == 0 || unit + 7 + frequency_length + 15 + 7 + 8 + 9 > message_max) {
        expected = ComposeResult::frequency_out_of_range;
    } else if (amplitude_length == 0 || unit + 7 + frequency_length + 15 + 7 + amplitude_length + 9 > message_max) {
        expected = ComposeResult::amplitude_out_of_range;
    }

    std::memset(command_text, 'X', sizeof command_text);
    const ComposeResult result = compose_settings(static_cast<Waveform>(waveform), frequency_text, amplitude_text);
    const std::string detail = std::string(frequency_text) + " | " + amplitude_text;
    if (result != expected) fail("compose result", detail);
    if (command_text[message_max] != '\0') fail("command_text not terminated", detail);
    const std::string message(command_text);
    if (result != ComposeResult::ok) {
        for (char c : command_text) {
            if (c != '\0') fail("refused message left text behind", detail);
        }
    } else {
        check_message_parses(message, units[waveform], frequency, amplitude);
    }

    // The same entries through output_on: sent whole once, or not at all.
    bus_stub_reset();
    read_backs = 0;
    const LinkResult on = output_on(static_cast<Waveform>(waveform), frequency_text, amplitude_text, count_read_back, nullptr);
    if (on.ok != (result == ComposeResult::ok)) fail("output_on result", detail);
    if (on.ok) {
        if (bus_calls.writes != 4 || bus_calls.reads != 3 || read_backs != 3) fail("output_on calls", detail);
        if (bus_calls.first_message_length != message.size() || message != bus_calls.first_message) {
            fail("output_on sent another message", detail);
        }
    } else if (bus_calls.writes != 0 || bus_calls.reads != 0 || read_backs != 0) {
        fail("refused settings reached the bus", detail);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int waveform = data[0] % 6;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = rest.find('\0');
    const std::string frequency = rest.substr(0, split);
    const std::string amplitude = split == std::string::npos ? std::string() : rest.substr(split + 1);

    check_conversion(frequency.c_str());
    check_conversion(amplitude.c_str());
    check_format(number_from_text(frequency.c_str()));
    check_format(number_from_text(amplitude.c_str()));
    if (size > sizeof(double)) {
        double raw = 0.0;
        std::memcpy(&raw, data + 1, sizeof raw);
        check_format(raw);
    }
    check_settings(waveform, frequency.substr(0, entry_max).c_str(), amplitude.substr(0, entry_max).c_str());
    return 0;
}

#include "front_model.h"

#include <cmath>
#include <cstdio>

#include "bus_state.h"
#include "scpi_text.h"

namespace sim {

namespace {

constexpr double pi = 3.14159265358979323846;

// Pulses are high for this part of each period.
constexpr double pulse_duty = 0.2;

const char* waveform_name(Waveform waveform) {
    switch (waveform) {
        case Waveform::sine: return "SIN";
        case Waveform::triangle: return "TRI";
        case Waveform::square: return "SQU";
        case Waveform::pulse: return "PULS";
        case Waveform::ramp: return "RAMP";
        case Waveform::dc: return "DC";
    }
    return "SIN";
}

void real_with_unit(double value, const char* unit, char* out, std::size_t size) {
    char number[32];
    format_real(value, number, sizeof number);
    std::snprintf(out, size, "%s %s", number, unit);
}

void exchange_text(const char* label, const FrontBytes& exchange, char* out, std::size_t size) {
    char escaped[front_text_capacity];
    if (exchange.present) {
        front_escape(exchange.bytes, exchange.size, exchange.cut, escaped, sizeof escaped);
    } else {
        std::snprintf(escaped, sizeof escaped, "none");
    }
    std::snprintf(out, size, "%s: %s", label, escaped);
}

}  // namespace

void front_texts(const FrontState& state, FrontTexts& texts) {
    std::snprintf(texts.waveform, sizeof texts.waveform, "%s", waveform_name(state.waveform));
    real_with_unit(state.frequency, "Hz", texts.frequency, sizeof texts.frequency);
    real_with_unit(state.amplitude, "V", texts.amplitude, sizeof texts.amplitude);
    char span[32];
    format_real(front_time_span(state.frequency), span, sizeof span);
    std::snprintf(texts.span, sizeof texts.span, "screen %s s, +-10 V", span);
    if (state.address == no_instrument) {
        std::snprintf(texts.address, sizeof texts.address, "no instrument");
    } else {
        std::snprintf(texts.address, sizeof texts.address, "GPIB address %d", state.address);
    }
    std::snprintf(texts.errors, sizeof texts.errors, "errors waiting: %d", state.errors_waiting);
    exchange_text("last message", state.message, texts.message, sizeof texts.message);
    exchange_text("last reply", state.reply, texts.reply, sizeof texts.reply);
}

FrontLamps front_lamps(const FrontState& state) { return {state.output_on, state.remote, state.lockout}; }

double front_time_span(double frequency) {
    if (!(frequency > 0)) return 1.0;
    const double period = 1.0 / frequency;
    const double decade = std::pow(10.0, std::floor(std::log10(period)));
    // A hair of tolerance, so that a period of exactly 1 ms gets 1 ms despite rounding.
    const double mantissa = period / decade * (1 - 1e-9);
    for (double step : {1.0, 2.0, 2.5, 5.0}) {
        if (mantissa <= step) return step * decade;
    }
    return 10.0 * decade;
}

double front_voltage(const FrontState& state, double phase) {
    if (!state.output_on) return 0.0;
    const double a = state.amplitude;
    switch (state.waveform) {
        case Waveform::sine: return a * std::sin(2 * pi * phase);
        case Waveform::triangle:
            if (phase < 0.25) return a * 4 * phase;
            if (phase < 0.75) return a * (2 - 4 * phase);
            return a * (4 * phase - 4);
        case Waveform::square: return phase < 0.5 ? a : -a;
        case Waveform::pulse: return phase < pulse_duty ? a : 0.0;
        case Waveform::ramp: return a * (2 * phase - 1);
        case Waveform::dc: return a;
    }
    return 0.0;
}

int front_trace(const FrontState& state, int width, int height, FrontPoint* points, int capacity) {
    if (width <= 0 || height <= 0 || !points) return 0;
    const int count = width < capacity ? width : capacity;
    const double periods_across = front_time_span(state.frequency) * (state.frequency > 0 ? state.frequency : 0);
    const double middle = (height - 1) / 2.0;
    for (int x = 0; x < count; ++x) {
        const double cycles = periods_across * x / width;
        const double phase = cycles - std::floor(cycles);
        const double volts = front_voltage(state, phase);
        points[x] = {x, static_cast<int>(std::lround(middle - volts / front_screen_volts * middle))};
    }
    return count;
}

}  // namespace sim

// What the program's own work costs: composing the settings message, reading and writing numbers,
// each beside a plain baseline in the same run, and one ON press against a bus library that only
// answers with canned replies and allocates nothing, beside the time its bytes take on the bus.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "bus_link.h"
#include "instrument_messages.h"
#include "number_text.h"
#include "program_values.h"

namespace {

const char* const entries[] = {"1000", "3", "  1.5e3", "0.0000004", "-2", "123456.789", "1d3", "abc"};
constexpr int entry_count = sizeof entries / sizeof entries[0];

void compose_settings_message(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(compose_settings(Waveform::sin, "1000", "3"));
        benchmark::DoNotOptimize(command_text);
    }
}
BENCHMARK(compose_settings_message);

// The same message from the C library alone: strtod and one snprintf.
void compose_baseline_strtod_snprintf(benchmark::State& state) {
    char message[256];
    for (auto _ : state) {
        double frequency = std::strtod("1000", nullptr);
        double amplitude = std::strtod("3", nullptr);
        benchmark::DoNotOptimize(std::snprintf(message, sizeof message,
                                               ":FUNC SIN;:FREQ %f;:OFFS:STAT OFF;:AMPL %f;:OUTP ON", frequency,
                                               amplitude));
        benchmark::DoNotOptimize(message);
    }
}
BENCHMARK(compose_baseline_strtod_snprintf);

void number_text_round_trip(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(format_number(number_from_text(entries[i])));
        benchmark::DoNotOptimize(scratch_text);
        i = (i + 1) % entry_count;
    }
}
BENCHMARK(number_text_round_trip);

void number_text_baseline_strtod_snprintf(benchmark::State& state) {
    char text[256];
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%f", std::strtod(entries[i], nullptr)));
        benchmark::DoNotOptimize(text);
        i = (i + 1) % entry_count;
    }
}
BENCHMARK(number_text_baseline_strtod_snprintf);

// Bytes the read-back put on the bus, counted as they arrive.
void count_reply(ReadBack, const char* text, void* context) { *static_cast<std::size_t*>(context) += std::strlen(text); }

// One ON press: the settings message and the three read-backs, the bus library answering at once
// with canned replies, so the time is the program's own. Beside it, the time the same bytes would
// take on a GPIB bus moving 1 MB/s, and the program's share of that.
void output_on_press(benchmark::State& state) {
    if (!bus_bring_up("4").ok) {
        state.SkipWithError("bring-up failed");
        return;
    }
    std::size_t bus_bytes = 0;
    const std::clock_t cpu_start = std::clock();
    for (auto _ : state) {
        bus_bytes = 0;
        LinkResult result = output_on(Waveform::sin, "1000", "3", count_reply, &bus_bytes);
        if (!result.ok) {
            state.SkipWithError("ON failed");
            return;
        }
        bus_bytes += std::strlen(command_text) + std::strlen(":FUNC?") + std::strlen(":AMPL?") + std::strlen(":FREQ?");
    }
    state.counters["bus_bytes"] = static_cast<double>(bus_bytes);
    state.counters["gpib_1MBps_us"] = static_cast<double>(bus_bytes);   // 1 byte a microsecond
    // The program's CPU time per press over the wire time, in thousandths (the goal: at most 10).
    const double cpu_seconds = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
    state.counters["own_permille_of_wire"] =
        cpu_seconds / static_cast<double>(state.iterations()) / (static_cast<double>(bus_bytes) * 1e-6) * 1000.0;
}
BENCHMARK(output_on_press);

}  // namespace

BENCHMARK_MAIN();

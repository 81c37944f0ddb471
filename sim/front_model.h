// What the simulated instrument's front draws from its state: the texts, the three lamps, and the
// trace of one to two periods of the waveform on the small screen. Plain code, no window.
//
// The screen shows -10 V at its bottom edge to +10 V at its top, the amplitude being the peak
// voltage; across it runs a time span of 1, 2, 2.5 or 5 times a power of ten seconds, the shortest
// that holds a whole period, so that one to two periods show.
#pragma once

#include <cstddef>

#include "front_state.h"

namespace sim {

constexpr double front_screen_volts = 10.0;  // from the middle line to the top edge

struct FrontTexts {
    char waveform[8];     // SIN
    char frequency[48];   // +1.000000E+03 Hz
    char amplitude[48];   // +3.000000E+00 V
    char span[64];        // screen +1.000000E-03 s, +-10 V
    char address[32];     // GPIB address 4, or no instrument
    char errors[32];      // errors waiting: 0
    char message[front_text_capacity + 16];  // last message: ":FREQ?"  (or none)
    char reply[front_text_capacity + 16];    // last reply: "+1.000000E+03\n"  (or none)
};

struct FrontLamps {
    bool output;
    bool remote;
    bool lockout;
};

struct FrontPoint {
    int x;
    int y;
};

void front_texts(const FrontState& state, FrontTexts& texts);

FrontLamps front_lamps(const FrontState& state);

// Seconds across the screen for this frequency (1 s for a frequency of 0 or below).
double front_time_span(double frequency);

// The output voltage at phase (0 to 1) of a period; 0 V when the output is off.
double front_voltage(const FrontState& state, double phase);

// The trace on a screen of width × height pixels: one point for each column from x = 0, y = 0 at
// the top. Returns the number of points written (width, at most capacity).
int front_trace(const FrontState& state, int width, int height, FrontPoint* points, int capacity);

}  // namespace sim

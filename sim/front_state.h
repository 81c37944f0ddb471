// What the simulated instrument's front shows, taken from the simulator after a bus call: a small
// fixed record, copied whole wherever it goes (to the window's thread, into tests).
#pragma once

#include <cstddef>

#include "instrument.h"

namespace sim {

// Room for one escaped, quoted text and its terminator; a longer one is cut as the trace cuts it.
constexpr std::size_t front_text_capacity = 160;

struct FrontState {
    int address;  // where the instrument listens, or no_instrument
    Waveform waveform;
    double frequency;  // hertz
    double amplitude;  // volts
    bool output_on;
    bool remote;
    bool lockout;
    int errors_waiting;
    char message[front_text_capacity];  // last message the instrument received, escaped; "" for none
    char reply[front_text_capacity];    // last reply it sent, escaped; "" for none
};

// The bytes in double quotes, escaped as the trace escapes them; when they do not fit, cut after
// the last whole escape and closed with "...". Always terminated within capacity (at least 8).
void front_escape(const char* data, std::size_t size, char* out, std::size_t capacity);

// The instrument received this message / sent these bytes as a reply.
void front_note_message(const char* message);
void front_note_reply(const char* reply, std::size_t size);
// No message or reply yet, as after power-up.
void front_forget_exchanges();

// The simulator as it stands now.
void front_capture(FrontState& state);

}  // namespace sim

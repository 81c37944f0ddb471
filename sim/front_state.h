// What the simulated instrument's front shows, taken from the simulator after a bus call: a small
// fixed record, copied whole wherever it goes (to the window's thread, into tests).
#pragma once

#include <cstddef>

#include "instrument.h"

namespace sim {

// Room for one escaped, quoted text and its terminator; a longer one is cut as the trace cuts it.
constexpr std::size_t front_text_capacity = 160;

// A message or reply as the instrument took or gave it: its first bytes, raw (escaping them is the
// display's work, not the bus call's).
constexpr std::size_t front_bytes_capacity = 128;
struct FrontBytes {
    bool present;    // false: none yet
    bool cut;        // more bytes followed than are kept
    std::size_t size;
    char bytes[front_bytes_capacity];
};

struct FrontState {
    int address;  // where the instrument listens, or no_instrument
    Waveform waveform;
    double frequency;  // hertz
    double amplitude;  // volts
    bool output_on;
    bool remote;
    bool lockout;
    int errors_waiting;
    FrontBytes message;  // last message the instrument received
    FrontBytes reply;    // last reply it sent
};

// The bytes in double quotes, escaped as the trace escapes them; when they do not fit, or more
// followed them (more), cut after the last whole escape and closed with "...". Always terminated
// within capacity (at least 8).
void front_escape(const char* data, std::size_t size, bool more, char* out, std::size_t capacity);

// The instrument received this message / sent these bytes as a reply.
void front_note_message(const char* message);
void front_note_reply(const char* reply, std::size_t size);
// No message or reply yet, as after power-up.
void front_forget_exchanges();

// The simulator as it stands now.
void front_capture(FrontState& state);

}  // namespace sim

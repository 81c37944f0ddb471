// The simulated QX-7316 function generator: its settings, its reading of messages and its one
// pending reply.
//
// A message is one or more units joined by ';'; each unit is a header (a leading ':' optional,
// keywords in short or long form, any letter case), a '?' for a query, and at most one parameter
// after white space. Queries in one message are answered together in one reply, joined by ';' and
// ended with a line feed. A unit it cannot carry out is added to the error queue and the rest of
// the message still runs.
#pragma once

#include <cstddef>
#include <string_view>

namespace sim {

enum class Waveform { sine, triangle, square, pulse, ramp, dc };

struct InstrumentSettings {
    Waveform waveform;
    double frequency;  // hertz
    double amplitude;  // volts
    bool offset_on;
    bool output_on;
};

// The state at power-up: sine, 1000 Hz, 3 V, offset off, output off, no errors, no reply.
void instrument_power_up();

// Answers "*TST?" with 1 (failed) instead of 0.
void instrument_set_self_test_fails(bool fails);

// Never answers a query.
void instrument_set_silent(bool silent);

// Reads fill the whole buffer, as some libraries do: the terminator is written only when the
// reply's rest leaves room for it.
void instrument_set_full_reads(bool full);

// Takes one message from the bus. An unread reply is discarded first (error -410).
void instrument_receive(std::string_view message);

// Device clear: forgets the pending reply; settings and error queue stay.
void instrument_device_clear();

// Hands over the pending reply, or as much of it as fits in size - 1 bytes, always terminated
// (with full reads: size bytes, terminated when fewer). What does not fit stays pending for the
// next read. False, with nothing written, when no reply
// is pending (error -420). delivered is the number of bytes written before the terminator.
bool instrument_send_reply(char* buffer, std::size_t size, std::size_t& delivered);

bool instrument_reply_pending();

const InstrumentSettings& instrument_settings();

}  // namespace sim

#include "front_state.h"

#include <cstring>

#include "bus_state.h"
#include "error_queue.h"
#include "trace_line.h"

namespace sim {

namespace {

FrontBytes last_message;
FrontBytes last_reply;

void keep(FrontBytes& kept, const char* data, std::size_t size) {
    kept.present = true;
    kept.cut = size > front_bytes_capacity;
    kept.size = kept.cut ? front_bytes_capacity : size;
    std::memcpy(kept.bytes, data, kept.size);
}

}  // namespace

void front_escape(const char* data, std::size_t size, bool more, char* out, std::size_t capacity) {
    constexpr char cut[] = "\"...";
    std::size_t whole = 0;
    for (std::size_t i = 0; i < size; ++i) {
        char escaped[5];
        whole += bus_trace::escape_byte(static_cast<unsigned char>(data[i]), escaped);
    }
    // Quotes and terminator; when the whole text does not fit, room for the cut mark instead.
    const bool fits = !more && whole + 3 <= capacity;
    const std::size_t room = fits ? capacity - 2 : capacity - sizeof cut;
    std::size_t length = 0;
    out[length++] = '"';
    for (std::size_t i = 0; i < size; ++i) {
        char escaped[5];
        const std::size_t n = bus_trace::escape_byte(static_cast<unsigned char>(data[i]), escaped);
        if (length + n > room) break;
        std::memcpy(out + length, escaped, n);
        length += n;
    }
    if (fits) {
        out[length++] = '"';
        out[length] = '\0';
    } else {
        std::memcpy(out + length, cut, sizeof cut);
    }
}

void front_note_message(const char* message) { keep(last_message, message, std::strlen(message)); }

void front_note_reply(const char* reply, std::size_t size) { keep(last_reply, reply, size); }

void front_forget_exchanges() {
    last_message.present = false;
    last_reply.present = false;
}

void front_capture(FrontState& state) {
    const InstrumentSettings& settings = instrument_settings();
    const RemoteState remote = bus_remote_state();
    state.address = bus_instrument_address();
    state.waveform = settings.waveform;
    state.frequency = settings.frequency;
    state.amplitude = settings.amplitude;
    state.output_on = settings.output_on;
    state.remote = remote == RemoteState::remote || remote == RemoteState::remote_with_lockout;
    state.lockout = remote == RemoteState::local_with_lockout || remote == RemoteState::remote_with_lockout;
    state.errors_waiting = errors_waiting();
    state.message = last_message;
    state.reply = last_reply;
}

}  // namespace sim

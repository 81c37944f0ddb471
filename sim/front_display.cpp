#include "front_display.h"

#include "front_state.h"
#include "front_window.h"

namespace sim {

namespace {

bool enabled = false;
FrontState state;

}  // namespace

void front_display_enable(bool on) { enabled = on; }

void front_after_write(bool received, const char* message) {
    if (enabled && received) front_note_message(message);
}

void front_after_read(bool sent, const char* reply, std::size_t delivered) {
    if (enabled && sent) front_note_reply(reply, delivered);
}

void front_after_call() {
    if (!enabled) return;
    front_capture(state);
    front_window_update(state);
}

}  // namespace sim

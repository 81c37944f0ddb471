// What the page does on the bus: the panel's ON, OFF and SELF TEST through link/, the message box,
// Find instruments and the instrument's identity. Each takes the bus as the other clients do, one
// transaction at a time, and is refused at once, with nothing on the bus, for an address that a
// VXI-11 link has locked. Each is logged with the peer that asked for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "bus_access.h"
#include "program_values.h"

namespace gateway::web {

// The instrument of the panel and the identity (--address) and the bus time-out to put back after
// Find instruments' short one; actions are taken from now on.
void actions_setup(int instrument_address, std::int32_t bus_timeout);
// No action starts after this; a Find under way ends after its address and is waited for, waits
// for the bus end at once, and so does the action in progress before it returns.
void actions_stop();

// The panel as the program shows it; one panel for every browser, as there is one instrument.
struct PanelView {
    char status[text_buffer_size];        // the status line
    char readback[3][text_buffer_size];   // waveform, frequency, amplitude as the instrument answered
    bool output_on;                       // ON done last: OFF enabled, ON disabled
    char verdict[3];                      // "OK" or "NG" after SELF TEST, else ""
};
void panel_view(PanelView& view);

// The waveform's name as the panel's select gives it (SIN TRI SQU PULS RAMP DC); false for others.
bool panel_waveform_known(const char* name);
// ON with the entries as typed; OFF; SELF TEST. The view shows the outcome.
void panel_on(const char* peer, const char* waveform, const char* frequency, const char* amplitude);
void panel_off(const char* peer);
void panel_self_test(const char* peer);

// The message box.
enum class IoKind { write, query, read, clear, remote, local };
struct IoOutcome {
    bool ok;
    std::string text;   // the reply with control characters visible, or what failed and why
};
void io_do(const char* peer, IoKind kind, int address, const char* message, IoOutcome& outcome);

// Find instruments: *IDN? at each address 0-30, one at a time under the bus lock.
struct Found {
    int address;
    char reply[text_buffer_size];   // without its line feed
};
struct FindView {
    bool running;
    int next;               // the address being asked while running
    bool done;              // a Find has ended
    Found found[bus_address_count];
    std::size_t found_count;
};
// False when a Find is already running (or actions have stopped).
bool find_start(const char* peer);
void find_view(FindView& view);

// The *IDN? reply of the instrument at --address, asked at start and again on request.
struct IdnView {
    bool asked;
    bool ok;
    char reply[text_buffer_size];   // without its line feed
    char failure[128];              // what failed, when not ok
};
void idn_refresh(const char* peer);
void idn_view(IdnView& view);

}  // namespace gateway::web

// The front window's caption, its controls' ids and the trace colour, as tools outside the
// program find them.
#pragma once

namespace sim::front_id {
constexpr const char* caption = "QX-7316 (simulated)";
constexpr int screen = 100;
constexpr int waveform = 101;
constexpr int frequency = 102;
constexpr int amplitude = 103;
constexpr int span = 104;
// Lamps: static controls, enabled when lit.
constexpr int output_lamp = 110;
constexpr int remote_lamp = 111;
constexpr int lockout_lamp = 112;
constexpr int address = 120;
constexpr int errors = 121;
constexpr int message = 122;
constexpr int reply = 123;
// The trace on the screen is drawn in pure green, 0xRRGGBB.
constexpr unsigned long trace_rgb = 0x00FF00;
}  // namespace sim::front_id

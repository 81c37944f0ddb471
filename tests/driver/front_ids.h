// The simulated instrument's front window as tools outside the program find it: its caption, the
// ids of its controls and the colour of the trace on its screen.
#pragma once

#include <cstdint>

namespace front_id {
constexpr char kCaption[] = "QX-7316 (simulated)";
constexpr int kScreen = 100;
constexpr int kWaveform = 101;
constexpr int kFrequency = 102;
constexpr int kAmplitude = 103;
constexpr int kSpan = 104;
// Lamps: static controls, enabled when lit.
constexpr int kOutputLamp = 110;
constexpr int kRemoteLamp = 111;
constexpr int kLockoutLamp = 112;
constexpr int kAddress = 120;
constexpr int kErrors = 121;
constexpr int kMessage = 122;
constexpr int kReply = 123;
constexpr std::uint32_t kTraceRgb = 0x00FF00;
}  // namespace front_id

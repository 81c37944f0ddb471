// Control ids of the panel as an operator's tools see them from outside the program.
#pragma once

namespace panel_id {
constexpr int kExit = 2;  // IDCANCEL, the "終了" button
constexpr int kDeviceAddress = 1000;
constexpr int kOwnAddress = 1001;
constexpr int kInit = 1002;
constexpr int kOutputOn = 1003;
constexpr int kOutputOff = 1004;
constexpr int kStatus = 1005;
constexpr int kWaveSin = 1006;
constexpr int kWaveTri = 1007;
constexpr int kWaveSqu = 1008;
constexpr int kWavePuls = 1009;
constexpr int kWaveRamp = 1010;
constexpr int kWaveDc = 1011;
constexpr int kFrequency = 1013;
constexpr int kAmplitude = 1014;
constexpr int kSelfTest = 1015;
constexpr int kMonitorFunction = 1016;
constexpr int kMonitorFrequency = 1017;
constexpr int kMonitorAmplitude = 1018;
// Labels and group boxes carry this id.
constexpr int kNoId = -1;
}  // namespace panel_id

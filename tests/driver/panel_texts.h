// Texts the program shows, as UTF-8. The driver reads every text through the UTF-16 side of the
// window, so a comparison with these is exact to the character.
#pragma once

namespace panel_text {
constexpr const char* kCaption = "QX7316 SAMPLE";
constexpr const char* kInitSucceeded = "初期化正常終了";
constexpr const char* kSelfTestBoxCaption = "QX-7316";
constexpr const char* kSelfTestOk = "SELF TEST結果 =【 OK 】です。";
constexpr const char* kSelfTestNg = "SELF TEST結果 =【 NG 】です。";
constexpr const char* kFrequencyOutOfRange = "frequency out of range";
}  // namespace panel_text

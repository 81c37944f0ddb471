// The actions behind ON, OFF and SELF TEST.
#include "instrument_messages.h"
#include "panel.h"
#include "program_values.h"
#include "resource.h"
#include "text_buffer.h"

namespace {

constexpr const char* message_box_caption = "QX-7316";
constexpr const char* self_test_ok_text = "SELF TEST結果 =【 OK 】です。";
constexpr const char* self_test_ng_text = "SELF TEST結果 =【 NG 】です。";

// The radio buttons tested for the waveform, in the order they are tested; DC when none is checked.
struct WaveformButton {
    int id;
    Waveform waveform;
};
constexpr WaveformButton waveform_buttons[] = {
    {IDC_WAVE_SIN, Waveform::sin},   {IDC_WAVE_TRI, Waveform::tri},   {IDC_WAVE_SQU, Waveform::squ},
    {IDC_WAVE_PULS, Waveform::puls}, {IDC_WAVE_RAMP, Waveform::ramp},
};

Waveform checked_waveform(HWND hwnd) {
    for (const WaveformButton& button : waveform_buttons) {
        if (IsDlgButtonChecked(hwnd, button.id) == BST_CHECKED) return button.waveform;
    }
    return Waveform::dc;
}

int monitor_field(ReadBack which) {
    switch (which) {
    case ReadBack::waveform: return IDC_MON_FUNC;
    case ReadBack::amplitude: return IDC_MON_AMPL;
    case ReadBack::frequency: return IDC_MON_FREQ;
    }
    return IDC_MON_FUNC;
}

// Shows one read-back in its monitor field as soon as it has arrived; context is the panel.
void show_read_back(ReadBack which, const char* text, void* context) {
    SetDlgItemTextA(static_cast<HWND>(context), monitor_field(which), text);
}

}  // namespace

/***********************************************************************
 *
 *           do_output_on
 *
 * Sends the chosen waveform, frequency and amplitude with the output on,
 * and shows what the instrument reports back.
 */
void do_output_on(HWND hwnd) {
    SetDlgItemTextA(hwnd, IDC_STATUS, "");
    const Waveform waveform = checked_waveform(hwnd);
    GetDlgItemTextA(hwnd, IDC_FREQ, frequency_entry_text, sizeof frequency_entry_text);
    GetDlgItemTextA(hwnd, IDC_AMPL, amplitude_entry_text, sizeof amplitude_entry_text);

    const LinkResult result = output_on(waveform, frequency_entry_text, amplitude_entry_text, show_read_back, hwnd);
    if (!result.ok) {
        SetDlgItemTextA(hwnd, IDC_STATUS, result.status_text);
        return;
    }
    EnableWindow(GetDlgItem(hwnd, IDC_OUTPUT_OFF), TRUE);
    EnableWindow(GetDlgItem(hwnd, IDC_OUTPUT_ON), FALSE);
}

/***********************************************************************
 *
 *           do_output_off
 *
 * Switches the output off. The status line keeps what it showed unless
 * this fails.
 */
void do_output_off(HWND hwnd) {
    const LinkResult result = output_off();
    if (!result.ok) {
        SetDlgItemTextA(hwnd, IDC_STATUS, result.status_text);
        return;
    }
    SetDlgItemTextA(hwnd, IDC_MON_FUNC, "");
    SetDlgItemTextA(hwnd, IDC_MON_AMPL, "");
    SetDlgItemTextA(hwnd, IDC_MON_FREQ, "");
    EnableWindow(GetDlgItem(hwnd, IDC_OUTPUT_OFF), FALSE);
    EnableWindow(GetDlgItem(hwnd, IDC_OUTPUT_ON), TRUE);
}

/***********************************************************************
 *
 *           do_self_test
 *
 * Runs the instrument's self test and shows the verdict in a message box.
 */
void do_self_test(HWND hwnd) {
    const bool passed = self_test() == Verdict::ok;
    text_copy_cut(scratch_text, passed ? self_test_ok_text : self_test_ng_text);
    MessageBoxA(hwnd, scratch_text, message_box_caption, passed ? MB_OK : MB_ICONERROR);
}

// The panel's dialog procedure, its defaults and the dispatch of button presses.
#include <cstdio>

#include "panel.h"
#include "program_values.h"
#include "resource.h"
#include "text_buffer.h"

namespace {

constexpr const char* default_frequency_text = "1000";
constexpr const char* default_amplitude_text = "3";
constexpr WPARAM address_typing_limit = 2;

void enable_control(HWND hwnd, int id, BOOL enabled) { EnableWindow(GetDlgItem(hwnd, id), enabled); }

// An automatic radio button takes a tab stop whenever it gets checked. The waveform buttons stay
// out of the tab order: Tab never lands on them.
void keep_waveforms_out_of_tab_order(HWND hwnd) {
    for (int id = IDC_WAVE_SIN; id <= IDC_WAVE_DC; ++id) {
        HWND radio = GetDlgItem(hwnd, id);
        SetWindowLongPtrA(radio, GWL_STYLE, GetWindowLongPtrA(radio, GWL_STYLE) & ~LONG_PTR{WS_TABSTOP});
    }
}

}  // namespace

/***********************************************************************
 *
 *           on_init_dialog
 *
 * Puts the defaults into the panel: both addresses, frequency and
 * amplitude, sine; the link is down, so only GPIB初期化 can act.
 */
void on_init_dialog(HWND hwnd) {
    text_clear(scratch_text);

    own_address = default_own_address;
    SendDlgItemMessageA(hwnd, IDC_OWN_ADDR, EM_LIMITTEXT, address_typing_limit, 0);
    std::snprintf(scratch_text, sizeof scratch_text, "%d", own_address);
    SetDlgItemTextA(hwnd, IDC_OWN_ADDR, scratch_text);

    panel_device_address = default_device_address;
    SendDlgItemMessageA(hwnd, IDC_DEVICE_ADDR, EM_LIMITTEXT, address_typing_limit, 0);
    std::snprintf(scratch_text, sizeof scratch_text, "%d", panel_device_address);
    SetDlgItemTextA(hwnd, IDC_DEVICE_ADDR, scratch_text);

    SetDlgItemTextA(hwnd, IDC_FREQ, default_frequency_text);
    SetDlgItemTextA(hwnd, IDC_AMPL, default_amplitude_text);

    enable_control(hwnd, IDC_OUTPUT_ON, FALSE);
    enable_control(hwnd, IDC_OUTPUT_OFF, FALSE);
    enable_control(hwnd, IDC_SELF_TEST, FALSE);

    CheckRadioButton(hwnd, IDC_WAVE_SIN, IDC_WAVE_DC, IDC_WAVE_SIN);
    keep_waveforms_out_of_tab_order(hwnd);
}

/***********************************************************************
 *
 *           on_command
 *
 * One action per push button. IDOK (Enter) does nothing; a radio button
 * only checks itself, and is kept out of the tab order.
 */
void on_command(HWND hwnd, WORD id) {
    switch (id) {
    case IDCANCEL: do_exit(hwnd); break;
    case IDC_INIT: do_init(hwnd); break;
    case IDC_OUTPUT_ON: do_output_on(hwnd); break;
    case IDC_OUTPUT_OFF: do_output_off(hwnd); break;
    case IDC_SELF_TEST: do_self_test(hwnd); break;
    case IDC_WAVE_SIN:
    case IDC_WAVE_TRI:
    case IDC_WAVE_SQU:
    case IDC_WAVE_PULS:
    case IDC_WAVE_RAMP:
    case IDC_WAVE_DC: keep_waveforms_out_of_tab_order(hwnd); break;
    default: break;
    }
}

/***********************************************************************
 *
 *           panel_proc
 */
INT_PTR CALLBACK panel_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        on_init_dialog(hwnd);
        return TRUE;
    case WM_COMMAND:
        on_command(hwnd, LOWORD(wparam));
        return TRUE;
    case WM_SHOWWINDOW:
        SetFocus(GetDlgItem(hwnd, IDC_INIT));
        return FALSE;
    case WM_DESTROY:
        return TRUE;
    default:
        return FALSE;
    }
}

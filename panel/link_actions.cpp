// The two actions that bring the bus link up and leave the program.
#include "bus_link.h"
#include "panel.h"
#include "program_values.h"
#include "resource.h"

namespace {

constexpr int panel_exit_code = 2;

// Address text read from IDC_DEVICE_ADDR: at most 11 bytes and the terminating zero byte.
char address_entry_text[device_address_size];

}  // namespace

/***********************************************************************
 *
 *           do_init
 *
 * Brings the link up at the address in IDC_DEVICE_ADDR. A failure shows
 * in the status line only, so the operator can correct the address and
 * press again.
 */
void do_init(HWND hwnd) {
    SetDlgItemTextA(hwnd, IDC_STATUS, "");
    GetDlgItemTextA(hwnd, IDC_DEVICE_ADDR, address_entry_text, sizeof address_entry_text);

    const LinkResult result = bus_bring_up(address_entry_text);
    if (!result.ok) {
        SetDlgItemTextA(hwnd, IDC_STATUS, result.status_text);
        return;
    }
    EnableWindow(GetDlgItem(hwnd, IDC_INIT), FALSE);
    EnableWindow(GetDlgItem(hwnd, IDC_OUTPUT_ON), TRUE);
    EnableWindow(GetDlgItem(hwnd, IDC_SELF_TEST), TRUE);
    SetDlgItemTextA(hwnd, IDC_STATUS, result.status_text);
}

/***********************************************************************
 *
 *           do_exit
 *
 * Hands the instrument back to local control and ends the panel. The
 * output is left as it is.
 */
void do_exit(HWND hwnd) {
    bus_release();
    EndDialog(hwnd, panel_exit_code);
}

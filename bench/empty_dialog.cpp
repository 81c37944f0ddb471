// The smallest dialog program: shows an empty dialog and ends when it is cancelled.
#include <windows.h>

namespace {

INT_PTR CALLBACK empty_proc(HWND window, UINT message, WPARAM w_param, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && LOWORD(w_param) == IDCANCEL) {
        EndDialog(window, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(101), nullptr, empty_proc, 0);
    return 0;
}

// Program entry: runs the control panel and nothing else.
#include <windows.h>

#include "panel.h"
#include "resource.h"

/***********************************************************************
 *
 *           WinMain
 *
 * Runs the panel as a modal dialog; whatever it ends with, the program
 * ends with 0.
 */
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PANEL), nullptr, panel_proc, 0);
    return 0;
}

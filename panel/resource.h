// Resource ids of the control panel: the dialog template, the program icon and the controls.
// Plain #defines, so the resource compiler and the programs that drive the panel can both read it.
#pragma once

#define IDD_PANEL        101
#define IDI_QX7316       102

#define IDC_DEVICE_ADDR  1000
#define IDC_OWN_ADDR     1001
#define IDC_INIT         1002
#define IDC_OUTPUT_ON    1003
#define IDC_OUTPUT_OFF   1004
#define IDC_STATUS       1005
#define IDC_WAVE_SIN     1006
#define IDC_WAVE_TRI     1007
#define IDC_WAVE_SQU     1008
#define IDC_WAVE_PULS    1009
#define IDC_WAVE_RAMP    1010
#define IDC_WAVE_DC      1011
#define IDC_FREQ         1013
#define IDC_AMPL         1014
#define IDC_SELF_TEST    1015
#define IDC_MON_FUNC     1016
#define IDC_MON_FREQ     1017
#define IDC_MON_AMPL     1018

#ifndef IDC_STATIC
#define IDC_STATIC       (-1)
#endif

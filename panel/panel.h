// The control panel: its dialog procedure, the actions behind its buttons and its own values.
#pragma once

#include <windows.h>

#include <cstdint>

#include "program_values.h"

// Instrument address put into IDC_DEVICE_ADDR when the panel opens.
extern std::uint16_t panel_device_address;

// The entry texts the ON action reads: frequency and amplitude.
extern char frequency_entry_text[text_buffer_size];
extern char amplitude_entry_text[text_buffer_size];

INT_PTR CALLBACK panel_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
void on_init_dialog(HWND hwnd);
void on_command(HWND hwnd, WORD id);

void do_init(HWND hwnd);
void do_exit(HWND hwnd);

void do_output_on(HWND hwnd);
void do_output_off(HWND hwnd);
void do_self_test(HWND hwnd);

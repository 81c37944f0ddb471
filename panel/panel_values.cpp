// The control panel's own program-wide values.
#include "panel.h"

std::uint16_t panel_device_address = default_device_address;

char frequency_entry_text[text_buffer_size] = {};
char amplitude_entry_text[text_buffer_size] = {};

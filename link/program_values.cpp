#include "program_values.h"

std::uint16_t own_address = default_own_address;
char device_address[device_address_size] = {};

char command_text[text_buffer_size] = {};
char reply_text[text_buffer_size] = {};
char scratch_text[text_buffer_size] = {};

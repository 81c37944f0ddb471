// Program-wide values and text buffers, alive from start to exit.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::size_t text_buffer_size = 256;     // 255 bytes of text and a terminating zero byte
constexpr std::size_t device_address_size = 12;   // 11 bytes of text and a terminating zero byte
constexpr std::uint16_t default_own_address = 1;
constexpr std::uint16_t default_device_address = 4;

extern std::uint16_t own_address;
extern char device_address[device_address_size];

extern char command_text[text_buffer_size];   // the outgoing message
extern char reply_text[text_buffer_size];     // one reply
extern char scratch_text[text_buffer_size];   // formatted numbers, failure and verdict texts

// One line of a bus-call record, built in a fixed buffer.
//
// Texts are written in double quotes with \n \r \t \\ \" escaped and every other byte below 0x20 or
// from 0x7F up as \xHH. A text too long for the line is cut, and its closing quote is followed by
// "...". A null text is written NULL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace bus_trace {

constexpr std::size_t trace_line_capacity = 8192;

struct TraceLine {
    char text[trace_line_capacity];
    std::size_t length;
};

void line_start(TraceLine& line);
void line_append(TraceLine& line, std::string_view raw);
void line_append_number(TraceLine& line, std::int64_t value);
// Appends the bytes in double quotes, escaped; a null data pointer is written as NULL.
void line_append_quoted(TraceLine& line, const char* data, std::size_t size);
// As above for a zero-terminated text (or NULL).
void line_append_quoted_text(TraceLine& line, const char* text);

// The escaped form of one byte, at most four characters, into out; returns its length.
std::size_t escape_byte(unsigned char byte, char (&out)[5]);

}  // namespace bus_trace

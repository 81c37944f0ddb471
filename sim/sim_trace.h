// The trace of bus calls: one line a call, appended to the trace file (if any) and kept in memory.
//
// A line is built in a TraceLine and then emitted. Texts are written in double quotes with
// \n \r \t \\ \" escaped and every other byte below 0x20 or from 0x7F up as \xHH. A text too long
// for one line is cut, and the closing quote is followed by "...".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sim {

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

// Ends the line with a line feed, appends it to the trace file and to the in-memory trace.
void trace_emit(TraceLine& line);

// A configuration remark, written as a line of its own: # NAME: remark "entry"
void trace_note(std::string_view variable, std::string_view remark, std::string_view entry);

// The file to append to, or none (null or empty path). False, with no file, when the path is
// too long.
bool trace_set_file(const char* path);

// Forgets the in-memory trace.
void trace_clear_memory();

// Copies the in-memory trace into buffer, terminated within size; returns its whole length.
int trace_copy(char* buffer, int size);

}  // namespace sim

// The trace of bus calls: one line a call, appended to the trace file (if any) and kept in memory.
// A line is built in a TraceLine (see trace_line.h) and then emitted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "trace_line.h"

namespace sim {

using bus_trace::line_append;
using bus_trace::line_append_number;
using bus_trace::line_append_quoted;
using bus_trace::line_append_quoted_text;
using bus_trace::line_start;
using bus_trace::TraceLine;

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

#include "link_result.h"

#include <cstdio>

#include "program_values.h"
#include "text_buffer.h"

LinkResult bus_call_failure(const char* format, BusStatus status) {
    text_clear(scratch_text);
    std::snprintf(scratch_text, sizeof scratch_text, format, static_cast<int>(status));
    return {false, scratch_text};
}

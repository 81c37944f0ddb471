#include "error_queue.h"

#include <cstdio>

namespace sim {

namespace {

constexpr std::size_t queue_capacity = 16;
int queue[queue_capacity];
std::size_t queue_count = 0;

const char* error_meaning(int code) {
    switch (code) {
        case scpi_error::none: return "No error";
        case scpi_error::parameter_not_allowed: return "Parameter not allowed";
        case scpi_error::missing_parameter: return "Missing parameter";
        case scpi_error::data_type_error: return "Data type error";
        case scpi_error::undefined_header: return "Undefined header";
        case scpi_error::data_out_of_range: return "Data out of range";
        case scpi_error::illegal_parameter_value: return "Illegal parameter value";
        case scpi_error::queue_overflow: return "Queue overflow";
        case scpi_error::query_interrupted: return "Query INTERRUPTED";
        case scpi_error::query_unterminated: return "Query UNTERMINATED";
        default: return "Error";
    }
}

}  // namespace

void errors_clear() { queue_count = 0; }

int errors_waiting() { return static_cast<int>(queue_count); }

void error_push(int code) {
    if (queue_count < queue_capacity) {
        queue[queue_count++] = code;
    } else {
        queue[queue_capacity - 1] = scpi_error::queue_overflow;
    }
}

void error_pop_text(char* out, std::size_t size) {
    int code = scpi_error::none;
    if (queue_count > 0) {
        code = queue[0];
        for (std::size_t i = 1; i < queue_count; ++i) queue[i - 1] = queue[i];
        --queue_count;
    }
    if (out && size > 0) std::snprintf(out, size, "%d,\"%s\"", code, error_meaning(code));
}

}  // namespace sim

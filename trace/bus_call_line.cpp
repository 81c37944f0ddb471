#include "bus_call_line.h"

namespace bus_trace {

namespace {

void call_begin(TraceLine& line, BusFunction function) {
    line_start(line);
    line_append(line, bus_function_name(function));
    line_append(line, "(");
}

void call_end(TraceLine& line, std::int32_t status) {
    line_append(line, ") = ");
    line_append_number(line, status);
}

}  // namespace

void write_init_call(TraceLine& line, std::uint16_t own_address, std::int32_t reserved1, std::int32_t reserved2,
                     std::int32_t status) {
    call_begin(line, BusFunction::init);
    line_append_number(line, own_address);
    line_append(line, ", ");
    line_append_number(line, reserved1);
    line_append(line, ", ");
    line_append_number(line, reserved2);
    call_end(line, status);
}

void write_plain_call(TraceLine& line, BusFunction function, std::int32_t status) {
    call_begin(line, function);
    call_end(line, status);
}

void write_number_call(TraceLine& line, BusFunction function, std::int32_t value, std::int32_t status) {
    call_begin(line, function);
    line_append_number(line, value);
    call_end(line, status);
}

void write_address_call(TraceLine& line, BusFunction function, const char* address_list, std::int32_t status) {
    call_begin(line, function);
    line_append_quoted_text(line, address_list);
    call_end(line, status);
}

void write_wrt_call(TraceLine& line, const char* address_list, const char* message, std::int32_t status) {
    call_begin(line, BusFunction::wrt);
    line_append_quoted_text(line, address_list);
    line_append(line, ", ");
    line_append_quoted_text(line, message);
    call_end(line, status);
}

void write_red_call(TraceLine& line, const char* address_list, std::int32_t size, std::int32_t status,
                    const char* reply, std::size_t delivered) {
    call_begin(line, BusFunction::red);
    line_append_quoted_text(line, address_list);
    line_append(line, ", ");
    line_append_number(line, size);
    call_end(line, status);
    line_append(line, " ");
    line_append_quoted(line, delivered > 0 ? reply : "", delivered);
}

}  // namespace bus_trace

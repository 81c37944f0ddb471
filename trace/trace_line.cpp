#include "trace_line.h"

#include <cstdio>
#include <cstring>

namespace bus_trace {

namespace {

// Room kept free at the end of a line for what follows a quoted text.
constexpr std::size_t line_tail_reserve = 256;

bool line_room(const TraceLine& line, std::size_t count, std::size_t reserve) {
    return line.length + count + reserve < trace_line_capacity;
}

void line_put(TraceLine& line, const char* bytes, std::size_t count) {
    if (!line_room(line, count, 1)) return;
    std::memcpy(line.text + line.length, bytes, count);
    line.length += count;
    line.text[line.length] = '\0';
}

}  // namespace

std::size_t escape_byte(unsigned char byte, char (&out)[5]) {
    static constexpr char hex[] = "0123456789abcdef";
    switch (byte) {
        case '\n': std::memcpy(out, "\\n", 2); return 2;
        case '\r': std::memcpy(out, "\\r", 2); return 2;
        case '\t': std::memcpy(out, "\\t", 2); return 2;
        case '\\': std::memcpy(out, "\\\\", 2); return 2;
        case '"': std::memcpy(out, "\\\"", 2); return 2;
        default: break;
    }
    if (byte < 0x20 || byte >= 0x7F) {
        out[0] = '\\';
        out[1] = 'x';
        out[2] = hex[byte >> 4];
        out[3] = hex[byte & 0x0F];
        return 4;
    }
    out[0] = static_cast<char>(byte);
    return 1;
}

void line_start(TraceLine& line) {
    line.length = 0;
    line.text[0] = '\0';
}

void line_append(TraceLine& line, std::string_view raw) { line_put(line, raw.data(), raw.size()); }

void line_append_number(TraceLine& line, std::int64_t value) {
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(value));
    if (n > 0) line_put(line, digits, static_cast<std::size_t>(n));
}

void line_append_quoted(TraceLine& line, const char* data, std::size_t size) {
    if (!data) {
        line_append(line, "NULL");
        return;
    }
    line_put(line, "\"", 1);
    for (std::size_t i = 0; i < size; ++i) {
        char escaped[5];
        const std::size_t n = escape_byte(static_cast<unsigned char>(data[i]), escaped);
        if (!line_room(line, n, line_tail_reserve)) {
            line_put(line, "\"...", 4);
            return;
        }
        line_put(line, escaped, n);
    }
    line_put(line, "\"", 1);
}

void line_append_quoted_text(TraceLine& line, const char* text) {
    line_append_quoted(line, text, text ? std::strlen(text) : 0);
}

}  // namespace bus_trace

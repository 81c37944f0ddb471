#include "sim_trace.h"

#include <cstdio>
#include <cstring>

namespace sim {

namespace {

// The in-memory trace keeps the newest lines that fit; older lines are dropped whole.
constexpr std::size_t memory_capacity = 64 * 1024;
char memory[memory_capacity];
std::size_t memory_used = 0;

constexpr std::size_t path_capacity = 1024;
char trace_path[path_capacity];

// Room kept free at the end of a line for what follows a quoted text.
constexpr std::size_t line_tail_reserve = 256;

bool line_room(const TraceLine& line, std::size_t count, std::size_t reserve) {
    return line.length + count + reserve < trace_line_capacity;
}

void line_put(TraceLine& line, const char* bytes, std::size_t count) {
    if (!line_room(line, count, 1)) return;
    std::memcpy(line.text + line.length, bytes, count);
    line.length += count;
}

// The escaped form of one byte, at most four characters; returns its length.
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

void memory_append(const char* text, std::size_t length) {
    if (length > memory_capacity) return;
    while (memory_used + length > memory_capacity && memory_used > 0) {
        const void* end = std::memchr(memory, '\n', memory_used);
        const std::size_t drop = end ? static_cast<std::size_t>(static_cast<const char*>(end) - memory) + 1 : memory_used;
        std::memmove(memory, memory + drop, memory_used - drop);
        memory_used -= drop;
    }
    std::memcpy(memory + memory_used, text, length);
    memory_used += length;
}

// Opens, appends and closes at once, so that every line is complete in the file even if the
// process ends abruptly or several processes share the file.
void file_append(const char* text, std::size_t length) {
    if (trace_path[0] == '\0') return;
    std::FILE* file = std::fopen(trace_path, "ab");
    if (!file) return;
    std::fwrite(text, 1, length, file);
    std::fclose(file);
}

}  // namespace

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

// ---- quoted texts ----
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

// ---- emitting ----
void trace_emit(TraceLine& line) {
    line.text[line.length] = '\n';
    file_append(line.text, line.length + 1);
    memory_append(line.text, line.length + 1);
    line.text[line.length] = '\0';
}

void trace_note(std::string_view variable, std::string_view remark, std::string_view entry) {
    static TraceLine line;
    line_start(line);
    line_append(line, "# ");
    line_append(line, variable);
    line_append(line, ": ");
    line_append(line, remark);
    line_append(line, " ");
    line_append_quoted(line, entry.data() ? entry.data() : "", entry.size());
    trace_emit(line);
}

bool trace_set_file(const char* path) {
    trace_path[0] = '\0';
    if (!path) return true;
    const std::size_t length = std::strlen(path);
    if (length >= path_capacity) return false;
    std::memcpy(trace_path, path, length + 1);
    return true;
}

void trace_clear_memory() { memory_used = 0; }

int trace_copy(char* buffer, int size) {
    if (buffer && size > 0) {
        const std::size_t room = static_cast<std::size_t>(size) - 1;
        const std::size_t n = memory_used < room ? memory_used : room;
        std::memcpy(buffer, memory, n);
        buffer[n] = '\0';
    }
    return static_cast<int>(memory_used);
}

}  // namespace sim

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

#include "log_file.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string_view>

#include "log_complaint.h"
#include "rotated_file.h"
#include "trace_line.h"

namespace monitor {

namespace {

constexpr wchar_t log_variable[] = L"TAVERIX_MONITOR_LOG";
constexpr wchar_t size_variable[] = L"TAVERIX_MONITOR_LOG_SIZE";
constexpr wchar_t default_log_name[] = L"taverix-monitor.log";
// Room for the ".N" of the older files.
constexpr DWORD path_capacity = bus_trace::rotated_path_capacity - 2;
constexpr ULONGLONG retry_ms = 1000;
// As the gateway's log: 10 MB a file, three older files kept.
constexpr std::uint64_t default_size_limit = 10 * 1024 * 1024;
constexpr std::uint64_t size_limit_min = 1024;
constexpr unsigned files_kept = 3;

// Everything below is used only while the log is taken.
enum class LogFile { not_opened, open, failing };
LogFile file_state = LogFile::not_opened;
bus_trace::RotatedFile file{};
ULONGLONG retry_at = 0;
unsigned long long lost_lines = 0;
wchar_t path[path_capacity];
bool path_found = false;
// The complaint or the count being written.
bus_trace::TraceLine text;

// TAVERIX_MONITOR_LOG when set and not empty, else the temporary folder's taverix-monitor.log.
// False when neither fits in path.
bool find_log_path() {
    const DWORD length = GetEnvironmentVariableW(log_variable, path, path_capacity);
    if (length > 0 && length < path_capacity) return true;
    if (length >= path_capacity) return false;
    const DWORD folder = GetTempPathW(path_capacity, path);
    const std::size_t name = sizeof default_log_name / sizeof default_log_name[0];
    if (folder == 0 || folder + name > path_capacity) return false;
    std::memcpy(path + folder, default_log_name, sizeof default_log_name);
    return true;
}

// TAVERIX_MONITOR_LOG_SIZE in bytes when set to a number of 1024 or more, else 10 MB.
std::uint64_t size_limit() {
    wchar_t text[24];
    const DWORD length = GetEnvironmentVariableW(size_variable, text, sizeof text / sizeof text[0]);
    if (length == 0 || length >= sizeof text / sizeof text[0]) return default_size_limit;
    std::uint64_t value = 0;
    for (DWORD i = 0; i < length; ++i) {
        if (text[i] < L'0' || text[i] > L'9' || value > (std::uint64_t{1} << 40)) return default_size_limit;
        value = value * 10 + static_cast<std::uint64_t>(text[i] - L'0');
    }
    return value >= size_limit_min ? value : default_size_limit;
}

// Starts text with the line's time and what follows.
void text_start(const char* line, std::string_view what) {
    bus_trace::line_start(text);
    bus_trace::line_append(text, std::string_view(line, log_time_length));
    bus_trace::line_append(text, what);
}

// The path in double quotes, as given (in UTF-8).
void text_append_path() {
    static char path_utf8[path_capacity * 3];
    const int length = WideCharToMultiByte(CP_UTF8, 0, path, -1, path_utf8, sizeof path_utf8, nullptr, nullptr);
    bus_trace::line_append(text, "\"");
    if (length > 1) bus_trace::line_append(text, std::string_view(path_utf8, static_cast<std::size_t>(length - 1)));
    bus_trace::line_append(text, "\"");
}

void complain_text() {
    bus_trace::line_append(text, "\n");
    complain(text.text, static_cast<unsigned long>(text.length));
}

// The file stops working: said when it stops, not again at each failed retry (or at each write
// that fails after a retry opened it, on a full disk): lines already lost mean it has been said.
void failing(const char* line, const char* what, DWORD error) {
    file_state = LogFile::failing;
    retry_at = GetTickCount64() + retry_ms;
    if (lost_lines > 0) return;
    text_start(line, "taverix bus monitor: ");
    if (path_found) {
        bus_trace::line_append(text, what);
        bus_trace::line_append(text, " the log ");
        text_append_path();
    } else {
        bus_trace::line_append(text, "no log, the path in TAVERIX_MONITOR_LOG or %TEMP% is too long");
    }
    if (error != 0) {
        bus_trace::line_append(text, " (Windows error ");
        bus_trace::line_append_number(text, error);
        bus_trace::line_append(text, ")");
    }
    bus_trace::line_append(text, "; lines are counted as lost, and the log is tried again every second");
    complain_text();
}

// Opened for appending: every write lands at the file's end, also when other processes append to
// the same file; kept within its size (rotated_file.h). Nothing is buffered in the process. While
// failing, tried at most once a second.
bool open_when_due(const char* line) {
    if (file_state == LogFile::failing && GetTickCount64() < retry_at) return false;
    path_found = find_log_path();
    if (!path_found || !bus_trace::rotated_setup(file, path, size_limit(), files_kept)) {
        path_found = false;
        failing(line, "", 0);
        return false;
    }
    unsigned long error = 0;
    if (!bus_trace::rotated_open(file, error)) {
        failing(line, "cannot open", error);
        return false;
    }
    file_state = LogFile::open;
    return true;
}

// A failed or short write closes the file, to be opened again when due.
bool write_out(const char* line, const char* bytes, std::size_t size) {
    unsigned long error = 0;
    if (bus_trace::rotated_write(file, bytes, size, error)) return true;
    bus_trace::rotated_close(file);
    failing(line, "cannot write to", error);
    return false;
}

// The count of lines lost, then the user told that the log works again.
bool write_lost_count(const char* line) {
    text_start(line, "# ");
    bus_trace::line_append_number(text, static_cast<std::int64_t>(lost_lines));
    bus_trace::line_append(text, " lines lost while the log could not be written\n");
    if (!write_out(line, text.text, text.length)) return false;
    text_start(line, "taverix bus monitor: the log ");
    text_append_path();
    bus_trace::line_append(text, " works again, ");
    bus_trace::line_append_number(text, static_cast<std::int64_t>(lost_lines));
    bus_trace::line_append(text, " lines were lost");
    complain_text();
    lost_lines = 0;
    return true;
}

}  // namespace

void log_file_write(const char* line, std::size_t size) {
    if (file_state != LogFile::open && !open_when_due(line)) {
        ++lost_lines;
        return;
    }
    if ((lost_lines > 0 && !write_lost_count(line)) || !write_out(line, line, size)) ++lost_lines;
}

}  // namespace monitor

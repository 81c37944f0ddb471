#include "gateway_log.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "rotated_file.h"
#include "trace_line.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace gateway {

namespace {

// Lines wait in a ring of fixed size until the writer thread takes them: a slow log (a console,
// a pipe nobody reads) holds up no client. A line that finds the ring full is dropped and counted,
// and so is every line of a batch that cannot be written (a reader that went away).
constexpr std::size_t ring_size = std::size_t{1} << 18;
constexpr auto batch_interval = std::chrono::milliseconds(20);
// How long log_stop waits for the writer; a writer stuck on a pipe nobody reads is left behind.
constexpr auto stop_wait = std::chrono::seconds(1);

std::mutex log_mutex;
std::condition_variable log_waiting;
std::condition_variable writer_ended;
std::FILE* log_file = nullptr;
bus_trace::RotatedFile rotated{};
bool rotated_used = false;
char ring[ring_size];
std::size_t ring_start = 0;
std::size_t ring_used = 0;
std::size_t dropped = 0;         // since the last report in the log
std::size_t dropped_total = 0;
bool writer_running = false;
bool writer_stopping = false;
bool writer_stuck = false;       // left behind in a write that never returned
unsigned writer_generation = 0;
std::thread writer;
RecentLine recent[recent_line_max];
unsigned long long recent_count = 0;   // lines kept so far; the newest is recent[(count - 1) % max]

std::FILE* log_target() { return log_file ? log_file : stderr; }

// Below the C library's streams, so that a write that never returns holds no stream's lock. A log
// in a file of its own is written by the writer thread alone, or under the log's lock.
bool write_out(std::FILE* file, const char* data, std::size_t n) {
    if (rotated_used) {
        unsigned long error = 0;
        return bus_trace::rotated_write(rotated, data, n, error);
    }
#ifdef _WIN32
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    if (handle == INVALID_HANDLE_VALUE) return false;
    while (n > 0) {
        DWORD written = 0;
        const DWORD chunk = n > 65536 ? 65536 : static_cast<DWORD>(n);
        if (!WriteFile(handle, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        n -= written;
    }
#else
    const int fd = fileno(file);
    while (n > 0) {
        const ssize_t written = write(fd, data, n);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        n -= static_cast<std::size_t>(written);
    }
#endif
    return true;
}

std::size_t lines_in(const char* text, std::size_t n) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < n; ++i) lines += text[i] == '\n';
    return lines;
}

void ring_put(const char* text, std::size_t n) {
    const std::size_t at = (ring_start + ring_used) % ring_size;
    const std::size_t first = n < ring_size - at ? n : ring_size - at;
    std::memcpy(ring + at, text, first);
    std::memcpy(ring, text + first, n - first);
    ring_used += n;
}

void count_dropped(std::size_t lines) {
    dropped += lines;
    dropped_total += lines;
}

void write_lines(unsigned generation) {
    static char taken[ring_size];
    std::unique_lock<std::mutex> hold(log_mutex);
    for (;;) {
        // Lines are taken in batches, not one wake-up each: a query's round trip pays for none.
        log_waiting.wait_for(hold, batch_interval, [] { return writer_stopping; });
        if (generation != writer_generation) return;   // left behind, and a new writer runs
        if (ring_used == 0 && dropped == 0) {
            if (writer_stopping) break;
            continue;
        }
        const std::size_t n = ring_used;
        const std::size_t first = n < ring_size - ring_start ? n : ring_size - ring_start;
        std::memcpy(taken, ring + ring_start, first);
        std::memcpy(taken + first, ring, n - first);
        ring_start = (ring_start + n) % ring_size;
        ring_used = 0;
        const std::size_t lost = dropped;
        std::FILE* file = log_target();
        hold.unlock();
        char report[96];
        const int report_length =
            lost > 0 ? std::snprintf(report, sizeof report, "%zu log lines dropped: the log was not taken fast enough\n", lost) : 0;
        const bool written = write_out(file, taken, n) &&
                             (report_length <= 0 || write_out(file, report, static_cast<std::size_t>(report_length)));
        hold.lock();
        if (generation != writer_generation) return;
        if (written) {
            dropped -= lost;
        } else {
            count_dropped(lines_in(taken, n));
        }
    }
    writer_running = false;
    writer_ended.notify_all();
}

// "YYYY-MM-DD hh:mm:ss.mmm ", local time.
void append_time(bus_trace::TraceLine& line) {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03d ", ms);
    bus_trace::line_append(line, text);
}

void start(bus_trace::TraceLine& line, const char* peer) {
    bus_trace::line_start(line);
    append_time(line);
    bus_trace::line_append(line, peer);
    bus_trace::line_append(line, " ");
}

void keep_recent(const char* text, std::size_t n) {
    RecentLine& line = recent[recent_count % recent_line_max];
    line.number = ++recent_count;
    if (n > 0 && text[n - 1] == '\n') --n;
    if (n > sizeof line.text - 1) n = sizeof line.text - 1;
    std::memcpy(line.text, text, n);
    line.text[n] = '\0';
}

void put(const char* text, std::size_t n) {
    std::lock_guard<std::mutex> hold(log_mutex);
    keep_recent(text, n);
    if (writer_running) {
        if (ring_size - ring_used < n) {
            count_dropped(1);
        } else {
            ring_put(text, n);
        }
    } else if (writer_stuck || !write_out(log_target(), text, n)) {
        count_dropped(1);
    }
}

void finish(bus_trace::TraceLine& line) {
    bus_trace::line_append(line, "\n");
    // A line cut short still ends the record.
    if (line.text[line.length - 1] != '\n') line.text[line.length - 1] = '\n';
    put(line.text, line.length);
}

void append_outcome(bus_trace::TraceLine& line, const Transaction& t) {
    switch (t.outcome) {
        case Outcome::written: break;
        case Outcome::replied:
            bus_trace::line_append(line, " -> ");
            bus_trace::line_append_quoted(line, t.reply, t.reply_length);
            break;
        case Outcome::failed:
            bus_trace::line_append(line, " ");
            bus_trace::line_append(line, t.failed_call);
            if (t.status != 0) {
                bus_trace::line_append(line, " failed [");
                bus_trace::line_append_number(line, t.status);
                bus_trace::line_append(line, "]");
            }
            if (t.cleared) {
                bus_trace::line_append(line, ", gp_clr [");
                bus_trace::line_append_number(line, t.clear_status);
                bus_trace::line_append(line, "]");
            }
            break;
    }
}

}  // namespace

void log_to(std::FILE* file) {
    std::lock_guard<std::mutex> hold(log_mutex);
    log_file = file;
}

void log_start() {
    std::lock_guard<std::mutex> hold(log_mutex);
    if (writer_running) return;
    writer_stopping = false;
    try {
        writer = std::thread(write_lines, ++writer_generation);
        writer_running = true;
        writer_stuck = false;
    } catch (const std::system_error&) {   // no thread: each line is written at once instead
    }
}

void log_stop() {
    std::unique_lock<std::mutex> hold(log_mutex);
    if (!writer_running) return;
    writer_stopping = true;
    log_waiting.notify_one();
    const bool ended = writer_ended.wait_for(hold, stop_wait, [] { return !writer_running; });
    if (!writer.joinable()) return;   // another thread is stopping it
    std::thread taken = std::move(writer);
    if (ended) {
        hold.unlock();
        taken.join();
        return;
    }
    // Stuck in a write: what is left is dropped, and so is every later line.
    ++writer_generation;
    writer_running = false;
    writer_stuck = true;
    const std::size_t first = ring_used < ring_size - ring_start ? ring_used : ring_size - ring_start;
    count_dropped(lines_in(ring + ring_start, first) + lines_in(ring, ring_used - first));
    ring_used = 0;
    taken.detach();
}

std::size_t log_dropped() {
    std::lock_guard<std::mutex> hold(log_mutex);
    return dropped_total;
}

std::size_t log_recent(unsigned long long after, RecentLine* lines, std::size_t max) {
    std::lock_guard<std::mutex> hold(log_mutex);
    const unsigned long long oldest = recent_count > recent_line_max ? recent_count - recent_line_max + 1 : 1;
    std::size_t n = 0;
    for (unsigned long long number = after + 1 > oldest ? after + 1 : oldest; number <= recent_count && n < max; ++number) {
        lines[n++] = recent[(number - 1) % recent_line_max];
    }
    return n;
}

unsigned long long log_newest() {
    std::lock_guard<std::mutex> hold(log_mutex);
    return recent_count;
}

void log_note(const char* text) {
    // One line however the text ends.
    std::size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == '\n') --length;
    if (log_in_file()) {
        bus_trace::TraceLine line;
        bus_trace::line_start(line);
        append_time(line);
        bus_trace::line_append(line, std::string_view(text, length));
        finish(line);
        return;
    }
    char line[512];
    const int n = std::snprintf(line, sizeof line, "%.*s\n", static_cast<int>(length), text);
    if (n > 0) put(line, static_cast<std::size_t>(n) < sizeof line ? static_cast<std::size_t>(n) : sizeof line - 1);
}

bool log_to_rotated_file(const char* path, std::uint64_t limit, unsigned kept, unsigned long& error) {
    bus_trace::PathChar wide[bus_trace::rotated_path_capacity];
#ifdef _WIN32
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, bus_trace::rotated_path_capacity) == 0) {
        error = GetLastError();
        return false;
    }
#else
    const std::size_t n = std::strlen(path);
    if (n >= sizeof wide) {
        error = ENAMETOOLONG;
        return false;
    }
    std::memcpy(wide, path, n + 1);
#endif
    std::lock_guard<std::mutex> hold(log_mutex);
    bus_trace::RotatedFile opened;
    if (!bus_trace::rotated_setup(opened, wide, limit, kept)) {
        error = 0;
        return false;
    }
    if (rotated_used) bus_trace::rotated_close(rotated);
    rotated = opened;
    rotated_used = true;
    return bus_trace::rotated_open(rotated, error);
}

bool log_in_file() {
    std::lock_guard<std::mutex> hold(log_mutex);
    return rotated_used;
}


void log_transaction(const char* peer, const char* text, std::size_t length, const Transaction& t) {
    bus_trace::TraceLine line;
    start(line, peer);
    bus_trace::line_append_quoted(line, text, length);
    append_outcome(line, t);
    finish(line);
}

void log_call(const char* peer, const CallLog& call) {
    bus_trace::TraceLine line;
    start(line, peer);
    if (call.link != 0) {
        bus_trace::line_append(line, "link ");
        bus_trace::line_append_number(line, static_cast<std::int64_t>(call.link));
        bus_trace::line_append(line, " ");
    }
    if (call.device != nullptr) {
        bus_trace::line_append(line, call.device);
        bus_trace::line_append(line, " ");
    }
    bus_trace::line_append(line, call.call);
    if (call.data != nullptr) {
        bus_trace::line_append(line, " ");
        bus_trace::line_append_quoted(line, call.data, call.data_length);
    }
    if (call.transaction != nullptr) append_outcome(line, *call.transaction);
    if (call.note != nullptr) {
        bus_trace::line_append(line, " ");
        bus_trace::line_append(line, call.note);
    }
    if (call.error != 0) {
        bus_trace::line_append(line, ", error ");
        bus_trace::line_append_number(line, static_cast<std::int64_t>(call.error));
    }
    finish(line);
}

void log_refusal(const char* peer, const char* reason, const char* text, std::size_t length) {
    bus_trace::TraceLine line;
    start(line, peer);
    bus_trace::line_append(line, "refused, ");
    bus_trace::line_append(line, reason);
    bus_trace::line_append(line, ": ");
    bus_trace::line_append_quoted(line, text, length);
    finish(line);
}

void log_event(const char* peer, const char* what) {
    bus_trace::TraceLine line;
    start(line, peer);
    bus_trace::line_append(line, what);
    finish(line);
}

}  // namespace gateway

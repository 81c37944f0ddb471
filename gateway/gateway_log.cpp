#include "gateway_log.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>

#include "trace_line.h"

namespace gateway {

namespace {

// Lines wait in a ring of fixed size until the writer thread takes them: a slow log (a console,
// a pipe nobody reads) holds up no client. A line that finds the ring full is dropped and counted.
constexpr std::size_t ring_size = std::size_t{1} << 18;
constexpr auto batch_interval = std::chrono::milliseconds(20);

std::mutex log_mutex;
std::condition_variable log_waiting;
std::FILE* log_file = nullptr;
char ring[ring_size];
std::size_t ring_start = 0;
std::size_t ring_used = 0;
std::size_t dropped = 0;
bool writer_running = false;
bool writer_stopping = false;
std::thread writer;

std::FILE* log_target() { return log_file ? log_file : stderr; }

void ring_put(const char* text, std::size_t n) {
    const std::size_t at = (ring_start + ring_used) % ring_size;
    const std::size_t first = n < ring_size - at ? n : ring_size - at;
    std::memcpy(ring + at, text, first);
    std::memcpy(ring, text + first, n - first);
    ring_used += n;
}

void write_lines() {
    static char taken[ring_size];
    std::unique_lock<std::mutex> hold(log_mutex);
    for (;;) {
        // Lines are taken in batches, not one wake-up each: a query's round trip pays for none.
        log_waiting.wait_for(hold, batch_interval, [] { return writer_stopping; });
        if (ring_used == 0 && dropped == 0) {
            if (writer_stopping) return;
            continue;
        }
        const std::size_t n = ring_used;
        const std::size_t first = n < ring_size - ring_start ? n : ring_size - ring_start;
        std::memcpy(taken, ring + ring_start, first);
        std::memcpy(taken + first, ring, n - first);
        ring_start = (ring_start + n) % ring_size;
        ring_used = 0;
        const std::size_t lost = dropped;
        dropped = 0;
        std::FILE* file = log_target();
        hold.unlock();
        std::fwrite(taken, 1, n, file);
        if (lost > 0) std::fprintf(file, "%zu log lines dropped: the log was not taken fast enough\n", lost);
        std::fflush(file);
        hold.lock();
    }
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

void finish(bus_trace::TraceLine& line) {
    bus_trace::line_append(line, "\n");
    // A line cut short still ends the record.
    if (line.text[line.length - 1] != '\n') line.text[line.length - 1] = '\n';
    std::lock_guard<std::mutex> hold(log_mutex);
    if (!writer_running) {
        std::fwrite(line.text, 1, line.length, log_target());
        std::fflush(log_target());
    } else if (ring_size - ring_used < line.length) {
        ++dropped;
    } else {
        ring_put(line.text, line.length);
    }
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
        writer = std::thread(write_lines);
        writer_running = true;
    } catch (const std::system_error&) {   // no thread: each line is written at once instead
    }
}

void log_stop() {
    {
        std::lock_guard<std::mutex> hold(log_mutex);
        if (!writer_running) return;
        writer_stopping = true;
        log_waiting.notify_one();
    }
    writer.join();
    std::lock_guard<std::mutex> hold(log_mutex);
    writer_running = false;
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

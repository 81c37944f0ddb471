#include "gateway_log.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "trace_line.h"

namespace gateway {

namespace {

std::mutex log_mutex;
std::FILE* log_file = nullptr;

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
    std::FILE* file = log_file ? log_file : stderr;
    std::fwrite(line.text, 1, line.length, file);
    std::fflush(file);
}

}  // namespace

void log_to(std::FILE* file) {
    std::lock_guard<std::mutex> hold(log_mutex);
    log_file = file;
}

void log_transaction(const char* peer, const char* text, std::size_t length, const Transaction& t) {
    bus_trace::TraceLine line;
    start(line, peer);
    bus_trace::line_append_quoted(line, text, length);
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

// The gateway's log on stderr: one line per transaction or connection event, each written whole:
//   2026-12-08 20:15:03.127 127.0.0.1:50312 ":FREQ?" -> "+1.000000E+03\n"
//   2026-12-08 20:15:03.130 127.0.0.1:50312 ":FREQ 2000"
//   2026-12-08 20:15:04.350 127.0.0.1:50312 ":FREQ?" gp_red failed [4], gp_clr [0]
//   2026-12-08 20:15:05.001 127.0.0.1:50312 refused, over 255 bytes: "AAAA..."...
// Texts are escaped as the simulator's trace escapes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bus_transaction.h"

namespace gateway {

// Old log files kept beside a log in a file of its own: NAME.1 to NAME.3.
constexpr unsigned log_files_kept = 3;

// Where the log goes (stderr unless a test says otherwise).
void log_to(std::FILE* file);

// The log into a file of its own instead, kept within limit bytes, with kept old files beside it
// (rotated_file.h); each note line starts with its time there, as the others do. The path is in
// the system's code page. Call before the log's writer starts. False, with the system's error
// code, when the file cannot be opened now: its lines are then dropped and counted, and the file
// tried again at each later write (false with error 0: the path is too long for it).
bool log_to_rotated_file(const char* path, std::uint64_t limit, unsigned kept, unsigned long& error);

// Whether the log goes into a file of its own.
bool log_in_file();

// Between these, lines are handed to a writer thread through a fixed ring, so that writing them
// never holds up a client; log_stop writes what is left, waiting for the writer at most a second:
// a writer stuck on a pipe nobody reads is left behind, and the lines after it are dropped. Outside
// them each line is written at once. A line that cannot be written (the ring full, the reader gone)
// is dropped and counted, never waited for.
void log_start();
void log_stop();

// Lines dropped so far.
std::size_t log_dropped();

// The newest lines, kept for the web page whether written or dropped, numbered from 1 on, each cut
// to recent_line_size - 1 bytes, without its line feed.
constexpr std::size_t recent_line_max = 100;
constexpr std::size_t recent_line_size = 320;
struct RecentLine {
    unsigned long long number;
    char text[recent_line_size];
};
// The kept lines numbered after `after`, oldest first, at most max of them; returns how many.
std::size_t log_recent(unsigned long long after, RecentLine* lines, std::size_t max);
// The number of the newest line (0: none yet).
unsigned long long log_newest();

// A line of the program's own, such as "stopped", as it is.
void log_note(const char* text);

void log_transaction(const char* peer, const char* line, std::size_t length, const Transaction& transaction);
// One VXI-11 or portmapper call:
//   2026-12-08 20:15:03.127 127.0.0.1:50312 link 1 gpib0,4 device_write ":FREQ?" -> "+1.000000E+03\n"
//   2026-12-08 20:15:03.128 127.0.0.1:50312 link 1 gpib0,4 device_read "+1.000000E+03\n" END
//   2026-12-08 20:15:03.140 127.0.0.1:50318 link 2 gpib0,4 device_lock, error 11
struct CallLog {
    unsigned long link;                // 0: none
    const char* device;                // may be null
    const char* call;
    const char* data;                  // may be null: no data shown
    std::size_t data_length;
    const Transaction* transaction;    // may be null: no bus transaction in the call
    const char* note;                  // may be null
    long error;                        // 0: shown as nothing
};
void log_call(const char* peer, const CallLog& call);
// A line refused whole; text holds (the first bytes of) it.
void log_refusal(const char* peer, const char* reason, const char* text, std::size_t length);
// A connection event, such as "connected".
void log_event(const char* peer, const char* what);

}  // namespace gateway

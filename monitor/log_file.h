// The monitor's log file, and what happens when it cannot be written.
//
// The file is TAVERIX_MONITOR_LOG, or taverix-monitor.log in the temporary folder without it, opened
// at the first line for appending. It is kept within TAVERIX_MONITOR_LOG_SIZE bytes (10 MB without
// it) as the gateway's log is: the older lines move to NAME.1, NAME.2 and NAME.3 (rotated_file.h). When it cannot be opened (a missing folder, a read-only path)
// or a write fails (a full disk), the user is told once (log_complaint.h), lines are counted as
// lost, and the file is opened again at the first line a second or more later. The first line
// written then is preceded by the count:
//
//   2026-12-08 20:15:09.004 # 12 lines lost while the log could not be written
#pragma once

#include <cstddef>

namespace monitor {

// Every line starts with its time, "2026-12-08 20:15:03.123 ", which the count and the complaints
// take over.
constexpr std::size_t log_time_length = 24;

// Writes one line ending in a line feed, or counts it as lost. Called with the log taken.
void log_file_write(const char* line, std::size_t size);

}  // namespace monitor

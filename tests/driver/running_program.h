// One run of qx7316.exe, started from beside the driver with a simulated instrument set up through
// its environment, and the trace of bus calls that the simulator writes.
#pragma once

#include "sim_setup.h"

#include <windows.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace driver {

class RunningProgram {
 public:
  // Starts the program; throws when it cannot be started.
  explicit RunningProgram(const SimSetup& setup);
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  DWORD process_id() const { return process_id_; }

  // The program's visible top-level dialog (class #32770 of this process, not owned by another
  // window); throws when none shows up within the start limit.
  HWND wait_for_panel() const;

  // The exit code once the process has ended within limit; nothing if it still runs.
  std::optional<DWORD> wait_for_exit(std::chrono::milliseconds limit) const;
  bool has_exited() const;

  // The simulator's trace: one line per bus call, in call order.
  std::vector<std::string> trace_lines() const;

  // Milliseconds from CreateProcess to the visible panel, as measured by wait_for_panel.
  double start_milliseconds() const { return start_milliseconds_; }

 private:
  PROCESS_INFORMATION process_{};
  DWORD process_id_ = 0;
  std::wstring work_directory_;
  std::wstring trace_path_;
  std::chrono::steady_clock::time_point started_;
  mutable double start_milliseconds_ = 0;
};

// The folder the driver program lies in, with a trailing backslash; qx7316.exe lies beside it.
std::wstring driver_directory();

}  // namespace driver

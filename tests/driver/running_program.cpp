#include "running_program.h"

#include "polling.h"
#include "text_lines.h"
#include "window_search.h"
#include "window_text.h"

#include <atomic>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace driver {

namespace {

constexpr wchar_t kProgramFile[] = L"qx7316.exe";
constexpr DWORD kErrorInternalError = 1359;  // CreateProcess fails so now and then under Wine

std::string last_error_text(const char* what) {
  return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

// The driver's own environment without any TAVERIX_SIM_ variable but TAVERIX_SIM_DISPLAY (so that a
// whole run can show the simulated instrument's front), followed by the setup's variables, as a
// CreateProcess environment block.
std::wstring environment_block(const SimSetup& setup, const std::wstring& trace_path) {
  std::wstring block;
  if (wchar_t* inherited = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = inherited; *entry; entry += wcslen(entry) + 1) {
      const bool display = _wcsnicmp(entry, L"TAVERIX_SIM_DISPLAY=", 20) == 0;
      if (_wcsnicmp(entry, L"TAVERIX_SIM_", 12) == 0 && !(display && !setup.front_display)) continue;
      block.append(entry).push_back(L'\0');
    }
    FreeEnvironmentStringsW(inherited);
  }
  const auto add = [&block](const wchar_t* name, const std::string& value) {
    if (value.empty()) return;
    block.append(name).append(L"=").append(to_utf16(value)).push_back(L'\0');
  };
  block.append(L"TAVERIX_SIM_TRACE=").append(trace_path).push_back(L'\0');
  add(L"TAVERIX_SIM_FAULTS", setup.faults);
  add(L"TAVERIX_SIM_REPLIES", setup.replies);
  add(L"TAVERIX_SIM_ADDRESS", setup.address);
  add(L"TAVERIX_SIM_TIMEOUT_MS", setup.timeout_ms);
  add(L"TAVERIX_SIM_SELFTEST", setup.self_test_fails ? "fail" : "");
  add(L"TAVERIX_SIM_NO_REPLY", setup.never_replies ? "1" : "");
  add(L"TAVERIX_SIM_DISPLAY", setup.front_display ? "1" : "");
  block.push_back(L'\0');
  return block;
}

// A fresh folder under the temporary folder for one run's trace file.
std::wstring make_work_directory() {
  static std::atomic<int> counter{0};
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::wstring path = std::wstring(temp) + L"qx-driver-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++);
    if (CreateDirectoryW(path.c_str(), nullptr)) return path + L"\\";
  }
  throw std::runtime_error(last_error_text("CreateDirectory for the trace"));
}

// The program's own visible dialog: the panel, not a box it owns.
bool is_panel_of(DWORD process_id, HWND window) {
  return window_process(window) == process_id && IsWindowVisible(window) &&
         GetWindow(window, GW_OWNER) == nullptr && window_class(window) == "#32770";
}

// With QX_DRIVER_TRACE_COPY naming a file, each run's trace is appended to it before the trace
// goes: the bus monitor's tests compare all runs' calls with the monitor's log.
void keep_trace_copy(const std::wstring& trace_path) {
  wchar_t copy_path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(L"QX_DRIVER_TRACE_COPY", copy_path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  FILE* from = _wfopen(trace_path.c_str(), L"rb");
  if (!from) return;
  if (FILE* to = _wfopen(copy_path, L"ab")) {
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, from)) > 0;) std::fwrite(chunk, 1, got, to);
    std::fclose(to);
  }
  std::fclose(from);
}

}  // namespace

std::wstring driver_directory() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

RunningProgram::RunningProgram(const SimSetup& setup) : work_directory_(make_work_directory()) {
  trace_path_ = work_directory_ + L"bus-trace.txt";
  const std::wstring directory = driver_directory();
  const std::wstring program = directory + kProgramFile;
  std::wstring environment = environment_block(setup, trace_path_);
  std::wstring command_line = L"\"" + program + L"\"";

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  started_ = std::chrono::steady_clock::now();
  bool created = false;
  for (int attempt = 0; attempt < 2 && !created; ++attempt) {
    created = CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE,
                             CREATE_UNICODE_ENVIRONMENT, environment.data(), directory.c_str(), &startup,
                             &process_);
    if (!created && GetLastError() != kErrorInternalError) break;
  }
  if (!created) throw std::runtime_error(last_error_text("CreateProcess of qx7316.exe"));
  process_id_ = process_.dwProcessId;
}

RunningProgram::~RunningProgram() {
  if (!has_exited()) {
    TerminateProcess(process_.hProcess, 255);
    WaitForSingleObject(process_.hProcess, 10000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
  keep_trace_copy(trace_path_);
  DeleteFileW(trace_path_.c_str());
  RemoveDirectoryW(work_directory_.c_str());
}

HWND RunningProgram::wait_for_panel() const {
  HWND found = nullptr;
  const bool shown = wait_until(
      [&] {
        if (has_exited()) return true;
        found = find_top_level_window([this](HWND window) { return is_panel_of(process_id_, window); });
        return found != nullptr;
      },
      kStartLimit);
  if (has_exited()) {
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    char text[64];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    throw std::runtime_error(std::string("qx7316.exe ended before showing its panel, exit code ") + text);
  }
  if (!shown) throw std::runtime_error("qx7316.exe showed no panel within the start limit");
  start_milliseconds_ =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started_).count();
  return found;
}

std::optional<DWORD> RunningProgram::wait_for_exit(std::chrono::milliseconds limit) const {
  if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return {};
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return code;
}

bool RunningProgram::has_exited() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }

std::vector<std::string> RunningProgram::trace_lines() const {
  std::vector<std::string> lines = file_lines(trace_path_);
  for (std::string& line : lines) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  return lines;
}

}  // namespace driver

// The monitor loaded by path beside copies of the simulated library: every call passes through
// unchanged and is logged as the simulator traces it; without a working library every call fails
// with the monitor's code and the log says why.
//
// Each test works in a fresh folder with copies of the DLLs under names of their own, so that each
// gets a fresh monitor (which settles its library and log at its first call) and a fresh simulator.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "monitor_codes.h"
#include "taverix.h"
#include "text_lines.h"

namespace {

std::wstring exe_directory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

// This program lies in bin/monitor/ beside the monitor; the simulators lie in bin/ and bin/cdecl/.
std::wstring monitor_dll() { return exe_directory() + L"TAVERIX.dll"; }
std::wstring incomplete_dll() { return exe_directory() + L"incomplete_library.dll"; }
std::wstring controlled_dll() { return exe_directory() + L"controlled_library.dll"; }
std::wstring simulator_dll() { return exe_directory() + L"..\\TAVERIX.dll"; }
#if !defined(_WIN64)
std::wstring cdecl_simulator_dll() { return exe_directory() + L"..\\cdecl\\TAVERIX.dll"; }
#endif

std::string narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out.push_back(static_cast<char>(c));
    return out;
}

// A path as the log writes it: in double quotes, each backslash doubled.
std::string quoted(const std::wstring& path) {
    std::string out = "\"";
    for (char c : narrow(path)) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out + "\"";
}

// Sets or (with an empty value) removes a variable for this process and its C runtime.
void set_variable(const char* name, const std::wstring& value) {
    const std::string entry = std::string(name) + "=" + narrow(value);
    ASSERT_EQ(_putenv(entry.c_str()), 0);
}

// A log line: local time with milliseconds, then either the duration and a call's line or a remark.
const std::regex log_call_line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\d+)us (gp_.*)$)");
const std::regex log_remark_line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (# .*)$)");

struct MonitorLog {
    std::vector<std::string> calls;    // the calls' lines, time and duration taken off
    std::vector<std::string> remarks;  // "# ..." lines
    std::vector<std::string> malformed;
};

MonitorLog read_log(const std::wstring& path) {
    MonitorLog log;
    for (const std::string& line : file_lines(path)) {
        std::smatch match;
        if (std::regex_match(line, match, log_call_line)) {
            log.calls.push_back(match[2]);
        } else if (std::regex_match(line, match, log_remark_line)) {
            log.remarks.push_back(match[1]);
        } else {
            log.malformed.push_back(line);
        }
    }
    return log;
}

// The simulator's trace without its "# ..." remarks on its settings.
std::vector<std::string> trace_calls(const std::wstring& path) {
    std::vector<std::string> calls;
    for (const std::string& line : file_lines(path)) {
        if (line.rfind("# ", 0) != 0) calls.push_back(line);
    }
    return calls;
}

// The ten functions of one loaded library.
struct BusLibrary {
    BusStatus(TAVERIX_CALL* init)(std::uint16_t, std::int32_t, std::int32_t);
    BusStatus(TAVERIX_CALL* cli)();
    BusStatus(TAVERIX_CALL* ren)();
    BusStatus(TAVERIX_CALL* tmout)(std::int32_t);
    BusStatus(TAVERIX_CALL* clr)(const char*);
    BusStatus(TAVERIX_CALL* wait)(std::int32_t);
    BusStatus(TAVERIX_CALL* llo)();
    BusStatus(TAVERIX_CALL* wrt)(const char*, const char*);
    BusStatus(TAVERIX_CALL* red)(const char*, char*, std::int32_t);
    BusStatus(TAVERIX_CALL* lcl)(const char*);
};

template <typename Function>
void bind(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    ASSERT_NE(function, nullptr) << name;
}

void load_library(const std::wstring& path, BusLibrary& bus) {
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(module, nullptr) << narrow(path) << " error " << GetLastError();
    bind(module, "gp_init", bus.init);
    bind(module, "gp_cli", bus.cli);
    bind(module, "gp_ren", bus.ren);
    bind(module, "gp_tmout", bus.tmout);
    bind(module, "gp_clr", bus.clr);
    bind(module, "gp_wait", bus.wait);
    bind(module, "gp_llo", bus.llo);
    bind(module, "gp_wrt", bus.wrt);
    bind(module, "gp_red", bus.red);
    bind(module, "gp_lcl", bus.lcl);
}

// What a session of calls returned: each status, and each read's whole buffer afterwards.
struct SessionResults {
    std::vector<BusStatus> statuses;
    std::vector<std::string> buffers;
    bool operator==(const SessionResults& other) const {
        return statuses == other.statuses && buffers == other.buffers;
    }
};

// Reads into a buffer filled beforehand with leftovers, and keeps the whole buffer.
void read_into(const BusLibrary& bus, SessionResults& results, const char* address, std::int32_t size,
               std::int32_t buffer_size) {
    std::string buffer(static_cast<size_t>(buffer_size), '\0');
    std::memcpy(buffer.data(), "left over", buffer_size < 10 ? buffer_size : 10);
    results.statuses.push_back(bus.red(address, buffer.data(), size));
    results.buffers.push_back(buffer);
}

// Every function, with plain and awkward arguments, before and after bring-up, with replies whole
// and in parts, a read with nothing to read and injected failures. 31 calls.
constexpr size_t session_calls = 31;
SessionResults run_session(const BusLibrary& bus) {
    SessionResults results;
    auto status = [&results](BusStatus value) { results.statuses.push_back(value); };
    status(bus.clr("4"));
    read_into(bus, results, "4", 32, 32);
    status(bus.init(99, 7, -8));
    status(bus.init(1, 0, 0));
    status(bus.cli());
    status(bus.ren());
    status(bus.tmout(5));
    status(bus.clr("4"));
    status(bus.wait(1));
    status(bus.llo());
    status(bus.wrt("4", "*IDN?"));
    read_into(bus, results, "4", 256, 256);
    status(bus.wrt("4", ":FUNC?"));
    read_into(bus, results, "4", 3, 8);
    read_into(bus, results, "4", 64, 64);
    read_into(bus, results, "4", 64, 64);
    status(bus.wrt("4", "quote \" tab \t back \\ high \xff\x81 low \x01"));
    status(bus.wrt("4", "*IDN?"));
    read_into(bus, results, "4", 0, 4);
    read_into(bus, results, "4", -1, 4);
    status(bus.red("4", nullptr, 16));
    status(bus.wrt(nullptr, "*RST"));
    status(bus.wrt("4", nullptr));
    status(bus.clr(nullptr));
    status(bus.clr("9"));
    status(bus.tmout(-1));
    status(bus.wait(-5));
    status(bus.wrt("4", ":FREQ 1000.000000"));
    status(bus.wrt("4", ":VOLT 3.000000"));
    status(bus.lcl("4"));
    status(bus.lcl(""));
    return results;
}

// Removes the folder's files and the folder; files still in use (the DLLs this process loaded)
// stay, and so does the folder: a later run removes them.
void remove_folder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((folder + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::wstring temporary_folder() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    return temp;
}

// The folders earlier runs had to leave behind.
void remove_earlier_folders() {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((temporary_folder() + L"qx-monitor-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        remove_folder(temporary_folder() + found.cFileName + L"\\");
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// One test's folder under the temporary folder.
class MonitorTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { remove_earlier_folders(); }

    void SetUp() override {
        static int counter = 0;
        for (int attempt = 0; attempt < 1000 && folder_.empty(); ++attempt) {
            const std::wstring folder = temporary_folder() + L"qx-monitor-" + std::to_wstring(GetCurrentProcessId()) +
                                        L"-" + std::to_wstring(counter++) + L"\\";
            if (CreateDirectoryW(folder.c_str(), nullptr)) folder_ = folder;
        }
        ASSERT_FALSE(folder_.empty()) << "no folder for the test";
        set_variable("TAVERIX_SIM_TIMEOUT_MS", L"0");
        set_variable("TAVERIX_SIM_FAULTS", L"gp_cli=-3,gp_wrt#3=2147483647,gp_red#4=-2147483648");
        set_variable("TAVERIX_SIM_TRACE", L"");
        set_variable("TAVERIX_MONITOR_TARGET", L"");
        set_variable("TAVERIX_MONITOR_LOG", path(L"monitor.log"));
        set_variable("TAVERIX_MONITOR_RUNNING_MS", L"");
        set_variable("TAVERIX_MONITOR_LOG_SIZE", L"");
    }
    void TearDown() override { remove_folder(folder_); }

    std::wstring path(const wchar_t* name) const { return folder_ + name; }

    // A copy of the file under this name in the test's folder.
    std::wstring copy(const std::wstring& from, const wchar_t* name) const {
        const std::wstring to = path(name);
        EXPECT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE)) << narrow(from) << " error " << GetLastError();
        return to;
    }

    // A simulator of its own, straight, its trace in trace_name.
    SessionResults direct_session(const wchar_t* trace_name) {
        BusLibrary bus{};
        load_library(copy(simulator_dll(), L"direct.dll"), bus);
        set_variable("TAVERIX_SIM_TRACE", path(trace_name));
        SessionResults results;
        if (!HasFatalFailure()) results = run_session(bus);
        return results;
    }

    // A fresh monitor in front of a fresh copy of controlled_library.dll, and that library's
    // release_held_reads.
    void load_controlled(BusLibrary& monitor, void (*&release_held_reads)()) {
        load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
        const std::wstring library = copy(controlled_dll(), L"controlled.dll");
        set_variable("TAVERIX_MONITOR_TARGET", library);
        release_held_reads =
            reinterpret_cast<void (*)()>(GetProcAddress(LoadLibraryW(library.c_str()), "release_held_reads"));
        ASSERT_NE(release_held_reads, nullptr);
    }

    // Every call refused with `code`; the one remark the monitor logged about its target.
    std::string refusal_remark(const BusLibrary& monitor, BusStatus code) const;

    std::wstring folder_;
};

// The ten calls with the monitor's code for every one; the read's buffer stays as it was.
void expect_every_call_refused(const BusLibrary& bus, BusStatus code, const std::wstring& log_path) {
    char buffer[16] = "left over";
    EXPECT_EQ(bus.init(1, 0, 0), code);
    EXPECT_EQ(bus.cli(), code);
    EXPECT_EQ(bus.ren(), code);
    EXPECT_EQ(bus.tmout(5), code);
    EXPECT_EQ(bus.clr("4"), code);
    EXPECT_EQ(bus.wait(1), code);
    EXPECT_EQ(bus.llo(), code);
    EXPECT_EQ(bus.wrt("4", "*IDN?"), code);
    EXPECT_EQ(bus.red("4", buffer, sizeof buffer), code);
    EXPECT_EQ(bus.lcl("4"), code);
    EXPECT_STREQ(buffer, "left over");

    const std::string c = std::to_string(code);
    const MonitorLog log = read_log(log_path);
    EXPECT_EQ(log.calls, (std::vector<std::string>{
                             "gp_init(1, 0, 0) = " + c, "gp_cli() = " + c, "gp_ren() = " + c,
                             "gp_tmout(5) = " + c, "gp_clr(\"4\") = " + c, "gp_wait(1) = " + c, "gp_llo() = " + c,
                             "gp_wrt(\"4\", \"*IDN?\") = " + c, "gp_red(\"4\", 16) = " + c + " \"\"",
                             "gp_lcl(\"4\") = " + c}));
    EXPECT_TRUE(log.malformed.empty()) << log.malformed.front();
}

std::string MonitorTest::refusal_remark(const BusLibrary& monitor, BusStatus code) const {
    expect_every_call_refused(monitor, code, path(L"monitor.log"));
    const MonitorLog log = read_log(path(L"monitor.log"));
    EXPECT_EQ(log.remarks.size(), 1u);
    return log.remarks.empty() ? std::string() : log.remarks[0];
}

TEST_F(MonitorTest, PassesEveryCallThroughAndLogsItAsTheSimulatorTracesIt) {
    const SessionResults direct = direct_session(L"direct-trace.txt");
    ASSERT_EQ(direct.statuses.size(), session_calls);

    // The simulator as TAVERIX-real.dll beside the monitor: found without being named.
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    copy(simulator_dll(), L"TAVERIX-real.dll");
    ASSERT_FALSE(HasFatalFailure());
    set_variable("TAVERIX_SIM_TRACE", path(L"monitored-trace.txt"));
    const SessionResults monitored = run_session(monitor);

    EXPECT_EQ(monitored, direct);
    const std::vector<std::string> traced = trace_calls(path(L"monitored-trace.txt"));
    ASSERT_EQ(traced.size(), session_calls);
    EXPECT_EQ(traced, trace_calls(path(L"direct-trace.txt")));
    const MonitorLog log = read_log(path(L"monitor.log"));
    EXPECT_EQ(log.calls, traced);
    EXPECT_TRUE(log.malformed.empty()) << log.malformed.front();
    ASSERT_EQ(log.remarks.size(), 1u);
    EXPECT_EQ(log.remarks[0], "# target " + quoted(path(L"TAVERIX-real.dll")) + " loaded");
}

#if !defined(_WIN64)
// The 32-bit simulator built with __cdecl functions behind the monitor, named by the variable.
TEST_F(MonitorTest, PassesCallsToALibraryOfCdeclFunctions) {
    const SessionResults direct = direct_session(L"direct-trace.txt");

    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    set_variable("TAVERIX_MONITOR_TARGET", copy(cdecl_simulator_dll(), L"cdecl.dll"));
    ASSERT_FALSE(HasFatalFailure());
    set_variable("TAVERIX_SIM_TRACE", path(L"monitored-trace.txt"));
    // Twice over: a stack pointer left astray would show by the second round at the latest.
    const SessionResults monitored = run_session(monitor);
    const SessionResults again = run_session(monitor);

    EXPECT_EQ(monitored, direct);
    EXPECT_EQ(again.statuses.size(), session_calls);
    const std::vector<std::string> traced = trace_calls(path(L"monitored-trace.txt"));
    ASSERT_EQ(traced.size(), 2 * session_calls);
    EXPECT_EQ(std::vector<std::string>(traced.begin(), traced.begin() + session_calls),
              trace_calls(path(L"direct-trace.txt")));
    EXPECT_EQ(read_log(path(L"monitor.log")).calls, traced);
}
#endif

TEST_F(MonitorTest, RefusesEveryCallWhenTheLibraryIsMissing) {
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(refusal_remark(monitor, monitor_code::target_not_loaded),
              "# target " + quoted(path(L"TAVERIX-real.dll")) +
                  " cannot be loaded, Windows error 126: every call returns -7316001");
}

TEST_F(MonitorTest, RefusesEveryCallWhenTheLibraryLacksAFunction) {
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    set_variable("TAVERIX_MONITOR_TARGET", copy(incomplete_dll(), L"incomplete.dll"));
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(refusal_remark(monitor, monitor_code::target_incomplete),
              "# target " + quoted(path(L"incomplete.dll")) + " has no function gp_lcl: every call returns -7316002");
}

TEST_F(MonitorTest, RefusesToCallItself) {
    BusLibrary monitor{};
    const std::wstring self = copy(monitor_dll(), L"monitor.dll");
    load_library(self, monitor);
    set_variable("TAVERIX_MONITOR_TARGET", self);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(refusal_remark(monitor, monitor_code::target_not_loaded),
              "# target " + quoted(self) + " is the bus monitor itself: every call returns -7316001");
}

// A debug-output viewer as such programs work: it offers a shared buffer and, for each text put in
// it, takes the text and offers the buffer again.
class DebugOutputViewer {
  public:
    DebugOutputViewer()
        : buffer_ready_(CreateEventW(nullptr, FALSE, TRUE, L"DBWIN_BUFFER_READY")),
          data_ready_(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          mapping_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER")),
          view_(static_cast<const char*>(MapViewOfFile(mapping_, FILE_MAP_READ, 0, 0, 4096))) {}
    ~DebugOutputViewer() {
        UnmapViewOfFile(view_);
        CloseHandle(mapping_);
        CloseHandle(data_ready_);
        CloseHandle(buffer_ready_);
    }
    bool ready() const { return buffer_ready_ && data_ready_ && view_; }

    // The texts put in the buffer until stop is set (checked at least every 50 ms).
    std::vector<std::string> take_until(const std::atomic<bool>& stop) {
        std::vector<std::string> texts;
        for (;;) {
            if (WaitForSingleObject(data_ready_, 50) == WAIT_OBJECT_0) {
                texts.emplace_back(view_ + sizeof(DWORD), strnlen(view_ + sizeof(DWORD), 4096 - sizeof(DWORD)));
                SetEvent(buffer_ready_);
            } else if (stop) {
                return texts;
            }
        }
    }

  private:
    HANDLE buffer_ready_, data_ready_, mapping_;
    const char* view_;
};

// With a viewer running, it receives each line as it is written to the file.
TEST_F(MonitorTest, HandsEachLineToADebugOutputViewer) {
    DebugOutputViewer viewer;
    ASSERT_TRUE(viewer.ready());
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    ASSERT_FALSE(HasFatalFailure());
    std::vector<std::string> shown;
    std::atomic<bool> stop{false};
    std::thread taking([&] { shown = viewer.take_until(stop); });
    monitor.tmout(7);
    monitor.wrt("4", "*IDN?");
    stop = true;
    taking.join();

    const std::vector<std::string> written = file_lines(path(L"monitor.log"));
    ASSERT_EQ(written.size(), 3u);  // the remark and two calls
    ASSERT_EQ(shown.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) EXPECT_EQ(shown[i], written[i] + "\n");
}

// Bytes allocated in all of the process's heaps.
size_t heap_bytes_in_use() {
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    size_t in_use = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        HeapLock(heaps[i]);
        while (HeapWalk(heaps[i], &entry)) {
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) in_use += entry.cbData;
        }
        HeapUnlock(heaps[i]);
    }
    return in_use;
}

// Calls through the monitor, to the simulator, leave the heaps as they were.
TEST_F(MonitorTest, AllocatesNothingFromCallToCall) {
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    copy(simulator_dll(), L"TAVERIX-real.dll");
    ASSERT_FALSE(HasFatalFailure());
    set_variable("TAVERIX_SIM_FAULTS", L"");
    char reply[64];
    const auto pairs = [&](int count) {
        for (int i = 0; i < count; ++i) {
            monitor.wrt("4", ":FUNC?");
            monitor.red("4", reply, sizeof reply);
        }
    };
    ASSERT_EQ(monitor.init(1, 0, 0), 0);
    pairs(50);
    const size_t before = heap_bytes_in_use();
    pairs(500);
    EXPECT_EQ(heap_bytes_in_use(), before);
}

// Calls from several threads at once: every line whole, none lost.
TEST_F(MonitorTest, WritesEachLineWholeFromSeveralThreads) {
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    ASSERT_FALSE(HasFatalFailure());
    constexpr int threads = 4, calls = 100;
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&monitor, t] {
            for (int i = 0; i < calls; ++i) monitor.tmout(t * 1000 + i);
        });
    }
    for (std::thread& thread : running) thread.join();

    const MonitorLog log = read_log(path(L"monitor.log"));
    EXPECT_TRUE(log.malformed.empty()) << log.malformed.front();
    std::vector<int> seen(threads * 1000, 0);
    for (const std::string& call : log.calls) {
        int value = -1, code = 0;
        ASSERT_EQ(std::sscanf(call.c_str(), "gp_tmout(%d) = %d", &value, &code), 2) << call;
        ASSERT_TRUE(value >= 0 && value < threads * 1000) << call;
        ++seen[value];
    }
    for (int t = 0; t < threads; ++t) {
        for (int i = 0; i < calls; ++i) EXPECT_EQ(seen[t * 1000 + i], 1) << "gp_tmout(" << t * 1000 + i << ")";
    }
}

// Under a limit of 2048 bytes, 300 calls' lines fill more files than the three older ones kept:
// each file stays within the limit, no line is cut, and what is kept is the newest calls, in order.
TEST_F(MonitorTest, KeepsItsLogWithinTheSizeLimitAndTheNewestLinesInOrder) {
    set_variable("TAVERIX_MONITOR_LOG_SIZE", L"2048");
    BusLibrary monitor{};
    load_library(copy(monitor_dll(), L"monitor.dll"), monitor);
    copy(simulator_dll(), L"TAVERIX-real.dll");
    ASSERT_FALSE(HasFatalFailure());
    constexpr int calls = 300;
    for (int i = 0; i < calls; ++i) monitor.tmout(i);   // the status as the simulator gives it

    std::vector<int> kept;
    for (const wchar_t* name : {L"monitor.log.3", L"monitor.log.2", L"monitor.log.1", L"monitor.log"}) {
        WIN32_FILE_ATTRIBUTE_DATA file{};
        ASSERT_TRUE(GetFileAttributesExW(path(name).c_str(), GetFileExInfoStandard, &file)) << narrow(name);
        EXPECT_LE(file.nFileSizeLow, 2048u) << narrow(name);
        EXPECT_EQ(file.nFileSizeHigh, 0u) << narrow(name);
        const MonitorLog log = read_log(path(name));
        EXPECT_TRUE(log.malformed.empty()) << narrow(name) << ": " << log.malformed.front();
        for (const std::string& call : log.calls) {
            int value = -1, status = 0;
            ASSERT_EQ(std::sscanf(call.c_str(), "gp_tmout(%d) = %d", &value, &status), 2) << call;
            kept.push_back(value);
        }
    }
    EXPECT_EQ(GetFileAttributesW(path(L"monitor.log.4").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_GT(kept.size(), 100u);
    ASSERT_LT(kept.size(), static_cast<std::size_t>(calls));   // the oldest went
    for (std::size_t i = 0; i < kept.size(); ++i) {
        EXPECT_EQ(kept[i], calls - static_cast<int>(kept.size()) + static_cast<int>(i));
    }
}

// Waits up to 20 s for the condition, looking every 20 ms.
template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 1000; ++i) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

// The lines of a file with the time (and a call's duration) in front of each taken off; a line
// without a time stays whole.
std::vector<std::string> untimed_lines(const std::wstring& path) {
    static const std::regex timed(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (?:\d+us )?(.*)$)");
    std::vector<std::string> lines = file_lines(path);
    for (std::string& line : lines) {
        std::smatch match;
        if (std::regex_match(line, match, timed)) line = match[1];
    }
    return lines;
}

// A read that does not return is logged while it is still under way, then again when it returns;
// the caller sees the library's last error after it, not the monitor's.
TEST_F(MonitorTest, LogsACallStillRunningAndLeavesTheLibrarysLastError) {
    set_variable("TAVERIX_MONITOR_RUNNING_MS", L"500");
    BusLibrary monitor{};
    void (*release_held_reads)() = nullptr;
    load_controlled(monitor, release_held_reads);
    ASSERT_FALSE(HasFatalFailure());
    std::atomic<bool> returned{false};
    DWORD read_error = 0;
    std::thread reading([&] {
        char reply[16];
        monitor.red("hold", reply, sizeof reply);
        read_error = GetLastError();
        returned = true;
    });
    const std::regex running(R"(# still running after (\d+) ms: gp_red\("hold", 16\))");
    std::smatch match;
    std::vector<std::string> lines;
    const bool seen = eventually([&] {
        lines = untimed_lines(path(L"monitor.log"));
        return !lines.empty() && std::regex_match(lines.back(), match, running);
    });
    EXPECT_TRUE(seen) << "no line for the read under way";
    EXPECT_FALSE(returned);
    if (seen) {
        EXPECT_GE(std::stoi(match[1]), 500);
    }
    release_held_reads();
    reading.join();

    EXPECT_EQ(read_error, 16u);
    lines = untimed_lines(path(L"monitor.log"));
    ASSERT_EQ(lines.size(), 3u);  // the library loaded, the read running, the read
    EXPECT_TRUE(std::regex_match(lines[1], running)) << lines[1];
    EXPECT_EQ(lines[2], R"(gp_red("hold", 16) = 0 "")");
}

// The log in a folder that does not exist yet: the user is told once in the problems file and on
// standard error, the calls go on (leaving the library's last error, also after a failed try to
// open the log), and once the folder is there the log is opened at the next try and starts with
// the count of lines lost.
TEST_F(MonitorTest, SaysTheLogCannotBeOpenedAndOpensItWhenItCan) {
    const std::wstring later = path(L"later\\");
    const std::wstring log = later + L"monitor.log";
    set_variable("TAVERIX_MONITOR_LOG", log);
    wchar_t temporary[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", temporary, MAX_PATH);
    set_variable("TMP", folder_);
    const HANDLE standard_error = GetStdHandle(STD_ERROR_HANDLE);
    const HANDLE errors = CreateFileW(path(L"stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetStdHandle(STD_ERROR_HANDLE, errors);
    BusLibrary monitor{};
    void (*release_held_reads)() = nullptr;
    load_controlled(monitor, release_held_reads);

    std::int32_t calls = 0;
    bool last_errors_kept = true;
    const auto call = [&] {
        SetLastError(5);
        ++calls;
        last_errors_kept = monitor.tmout(calls) == 0 && GetLastError() == static_cast<DWORD>(calls) && last_errors_kept;
    };
    if (!HasFatalFailure()) {
        // Calls for over a second first, so that a try to open the log fails after a call as well.
        const ULONGLONG start = GetTickCount64();
        while (GetTickCount64() - start < 1500) {
            call();
            Sleep(20);
        }
        CreateDirectoryW(later.c_str(), nullptr);
        EXPECT_TRUE(eventually([&] {
            call();
            return GetFileAttributesW(log.c_str()) != INVALID_FILE_ATTRIBUTES;
        })) << "the log was never opened";
    }
    SetStdHandle(STD_ERROR_HANDLE, standard_error);
    CloseHandle(errors);
    set_variable("TMP", temporary);
    ASSERT_FALSE(HasFatalFailure());

    EXPECT_TRUE(last_errors_kept);
    // Lost: the remark on the library and every call but the last.
    const std::string lost = std::to_string(calls);
    EXPECT_EQ(untimed_lines(log), (std::vector<std::string>{
                                      "# " + lost + " lines lost while the log could not be written",
                                      "gp_tmout(" + lost + ") = 0"}));
    const std::string quoted_log = "\"" + narrow(log) + "\"";
    const std::string cannot_open =
        "taverix bus monitor: cannot open the log " + quoted_log +
        " (Windows error 3); lines are counted as lost, and the log is tried again every second";
    const std::vector<std::string> complaints{
        cannot_open, "taverix bus monitor: the log " + quoted_log + " works again, " + lost + " lines were lost"};
    EXPECT_EQ(untimed_lines(path(L"taverix-monitor-problems.log")), complaints);
    EXPECT_EQ(untimed_lines(path(L"stderr.txt")), complaints);
}

}  // namespace

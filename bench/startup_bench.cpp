// Start-up time of a dialog program: from CreateProcess until its dialog is visible, against the
// empty dialog program built the same way, alternating the two, in one run.
//
//   startup_bench.exe [RUNS]    (both programs are looked for beside this one)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Search {
    DWORD process_id;
    const char* caption;
    HWND found;
};

BOOL CALLBACK match_window(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char caption[64] = {};
    GetWindowTextA(window, caption, sizeof caption);
    if (pid == search->process_id && IsWindowVisible(window) && std::string(caption) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::string beside_me(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + name;
}

// Milliseconds from start to visible dialog; negative when it did not show within 60 s.
double time_to_dialog(const std::string& program, const char* caption) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + program + "\"";
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::fprintf(stderr, "cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return -1;
    }
    Search search{process.dwProcessId, caption, nullptr};
    double elapsed = -1;
    for (;;) {
        EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
        QueryPerformanceCounter(&now);
        double ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
        if (search.found) { elapsed = ms; break; }
        if (ms > 60000 || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(1);
    }
    if (search.found) PostMessageA(search.found, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::string panel = beside_me("qx7316.exe"), empty = beside_me("empty_dialog.exe");
    std::vector<double> panel_ms, empty_ms;
    for (int i = 0; i < runs; ++i) {
        double e = time_to_dialog(empty, "EMPTY DIALOG");
        double p = time_to_dialog(panel, "QX7316 SAMPLE");
        if (e < 0 || p < 0) return 1;
        empty_ms.push_back(e);
        panel_ms.push_back(p);
    }
    std::printf("start-up to dialog shown, median of %d runs (%d-bit):\n", runs, static_cast<int>(sizeof(void*) * 8));
    std::printf("  qx7316.exe        %8.1f ms\n", median(panel_ms));
    std::printf("  empty_dialog.exe  %8.1f ms\n", median(empty_ms));
    std::printf("  ratio             %8.2f\n", median(panel_ms) / median(empty_ms));
    return 0;
}

// What a bus call costs with the simulated instrument's front display on and off: blocks of calls
// (":FREQ?" written and its reply read) against TAVERIX.dll in this process, the display switched
// off and on between blocks, median time per call of each: the calling thread's CPU time (what the
// call itself does) and the time on the clock (which also feels the window's thread painting on a
// busy machine).
//
//   front_display_bench.exe [CALLS_PER_BLOCK] [BLOCKS]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "sim_control.h"
#include "taverix.h"

namespace {

constexpr char front_caption[] = "QX-7316 (simulated)";

double now_us() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return static_cast<double>(count.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

bool query_frequency() {
    char reply[256] = {};
    return gp_wrt("4", ":FREQ?") == 0 && gp_red("4", reply, sizeof reply) == 0;
}

// This thread's CPU time, user and kernel, in microseconds.
double thread_cpu_us() {
    FILETIME created, ended, kernel, user;
    GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
    const auto us = [](const FILETIME& time) {
        return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10.0;
    };
    return us(kernel) + us(user);
}

struct Block {
    double cpu_us, clock_us;  // per bus call
};

Block block(bool display, int pairs) {
    taverix_sim_set("TAVERIX_SIM_DISPLAY", display ? "1" : "0");
    const double cpu = thread_cpu_us();
    const double start = now_us();
    for (int i = 0; i < pairs; ++i) {
        if (!query_frequency()) return {-1, -1};
    }
    return {(thread_cpu_us() - cpu) / (2.0 * pairs), (now_us() - start) / (2.0 * pairs)};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(2, std::atoi(argv[1])) : 100000;
    const int blocks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    taverix_sim_set("TAVERIX_SIM_TRACE", nullptr);
    if (gp_init(1, 0, 0) != 0 || gp_ren() != 0 || gp_clr("4") != 0 || gp_llo() != 0) {
        std::fprintf(stderr, "front_display_bench: the simulated bus did not come up\n");
        return 1;
    }

    // The window exists and has shown before anything is timed.
    taverix_sim_set("TAVERIX_SIM_DISPLAY", "1");
    query_frequency();
    HWND front = nullptr;
    for (int i = 0; i < 6000 && !(front && IsWindowVisible(front)); ++i) {
        front = FindWindowA(nullptr, front_caption);
        if (!front) Sleep(5);
    }
    if (!front) {
        std::fprintf(stderr, "front_display_bench: the front window did not show\n");
        return 1;
    }

    std::vector<double> off_cpu, on_cpu, off_clock, on_clock;
    for (int i = 0; i < blocks; ++i) {
        const Block off = block(false, calls / 2);
        const Block on = block(true, calls / 2);
        if (off.cpu_us < 0 || on.cpu_us < 0) {
            std::fprintf(stderr, "front_display_bench: a bus call failed\n");
            return 1;
        }
        off_cpu.push_back(off.cpu_us);
        on_cpu.push_back(on.cpu_us);
        off_clock.push_back(off.clock_us);
        on_clock.push_back(on.clock_us);
    }
    std::printf("one bus call, medians of %d blocks of %d calls, front display off / on:\n", blocks, calls);
    std::printf("  CPU time of the calling thread: %.3f us / %.3f us (ratio %.2f)\n", median(off_cpu), median(on_cpu),
                median(on_cpu) / median(off_cpu));
    std::printf("  time on the clock:              %.3f us / %.3f us (ratio %.2f)\n", median(off_clock),
                median(on_clock), median(on_clock) / median(off_clock));
    return 0;
}

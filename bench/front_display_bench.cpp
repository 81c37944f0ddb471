// What a bus call costs with the simulated instrument's front display on and off: blocks of calls
// (":FREQ?" written and its reply read) against TAVERIX.dll in this process, the display switched
// off and on between blocks, median time per call of each.
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

// Microseconds per bus call over one block.
double block_us(bool display, int pairs) {
    taverix_sim_set("TAVERIX_SIM_DISPLAY", display ? "1" : "0");
    const double start = now_us();
    for (int i = 0; i < pairs; ++i) {
        if (!query_frequency()) return -1;
    }
    return (now_us() - start) / (2.0 * pairs);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int calls = argc > 1 ? std::max(2, std::atoi(argv[1])) : 4000;
    const int blocks = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
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

    std::vector<double> off, on;
    for (int block = 0; block < blocks; ++block) {
        off.push_back(block_us(false, calls / 2));
        on.push_back(block_us(true, calls / 2));
        if (off.back() < 0 || on.back() < 0) {
            std::fprintf(stderr, "front_display_bench: a bus call failed\n");
            return 1;
        }
    }
    const double off_us = median(off);
    const double on_us = median(on);
    std::printf("bus call, front display off: %.3f us (median of %d blocks of %d calls)\n", off_us, blocks, calls);
    std::printf("bus call, front display on:  %.3f us (window shown, updated after every call)\n", on_us);
    std::printf("ratio on/off: %.2f\n", on_us / off_us);
    return 0;
}

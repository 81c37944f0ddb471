// The bus monitor's cost per call: gp_wrt/gp_red pairs straight to the simulated TAVERIX.dll
// against the same through the monitor (logging to its file and to the debug output), alternating
// the two, in one run. Prints the median over the runs of the time per call of each, and the
// difference.
//
//   monitor_bench.exe [RUNS] [PAIRS]
// Looks for the simulator in bin/ (beside this program) and the monitor in bin/monitored/, whose
// TAVERIX-real.dll is another copy of the simulator.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "taverix.h"

namespace {

struct Library {
    const char* label;
    BusStatus(TAVERIX_CALL* init)(std::uint16_t, std::int32_t, std::int32_t);
    BusStatus(TAVERIX_CALL* wrt)(const char*, const char*);
    BusStatus(TAVERIX_CALL* red)(const char*, char*, std::int32_t);
    std::vector<double> per_call_us;
};

std::string beside_this_program(const char* name) {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

bool load(const std::string& path, Library& library) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return false;
    }
    const auto bound = [module](const char* name) { return reinterpret_cast<void (*)()>(GetProcAddress(module, name)); };
    library.init = reinterpret_cast<decltype(library.init)>(bound("gp_init"));
    library.wrt = reinterpret_cast<decltype(library.wrt)>(bound("gp_wrt"));
    library.red = reinterpret_cast<decltype(library.red)>(bound("gp_red"));
    if (!library.init || !library.wrt || !library.red || library.init(1, 0, 0) != 0) {
        std::fprintf(stderr, "%s: no bus functions or gp_init failed\n", path.c_str());
        return false;
    }
    return true;
}

// One run: pairs of query and read; microseconds per call.
double run(Library& library, int pairs) {
    char reply[256];
    LARGE_INTEGER frequency, begin, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&begin);
    for (int i = 0; i < pairs; ++i) {
        if (library.wrt("4", ":FUNC?") != 0 || library.red("4", reply, sizeof reply) != 0) {
            std::fprintf(stderr, "%s: a call failed\n", library.label);
            std::exit(1);
        }
    }
    QueryPerformanceCounter(&end);
    return static_cast<double>(end.QuadPart - begin.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) /
           (2.0 * pairs);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const int pairs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2000;
    Library straight{"straight to the simulator", nullptr, nullptr, nullptr, {}};
    Library monitored{"through the monitor", nullptr, nullptr, nullptr, {}};
    if (!load(beside_this_program("TAVERIX.dll"), straight)) return 1;
    if (!load(beside_this_program("monitored\\TAVERIX.dll"), monitored)) return 1;
    if (straight.wrt == monitored.wrt) {
        std::fprintf(stderr, "the monitor and the simulator are the same module\n");
        return 1;
    }
    run(straight, pairs / 10 + 1);
    run(monitored, pairs / 10 + 1);
    for (int i = 0; i < runs; ++i) {
        straight.per_call_us.push_back(run(straight, pairs));
        monitored.per_call_us.push_back(run(monitored, pairs));
    }
    const double a = median(straight.per_call_us), b = median(monitored.per_call_us);
    std::printf("%d runs of %d gp_wrt/gp_red pairs, median time per call:\n", runs, pairs);
    std::printf("  %-28s %8.2f us\n", straight.label, a);
    std::printf("  %-28s %8.2f us\n", monitored.label, b);
    std::printf("  %-28s %8.2f us\n", "the monitor's cost", b - a);
    return 0;
}

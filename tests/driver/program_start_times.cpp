#include "program_start_times.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace driver {

namespace {

std::vector<double>& start_times() {
  static std::vector<double> times;
  return times;
}

class StartTimeReport : public ::testing::Environment {
 public:
  void TearDown() override {
    const auto& times = start_times();
    if (times.empty()) return;
    double sum = 0;
    for (double time : times) sum += time;
    const auto [lowest, highest] = std::minmax_element(times.begin(), times.end());
    std::printf("program start to visible panel: %zu runs, mean %.0f ms, min %.0f ms, max %.0f ms\n",
                times.size(), sum / times.size(), *lowest, *highest);
  }
};

const auto* const report = ::testing::AddGlobalTestEnvironment(new StartTimeReport);

}  // namespace

void record_program_start(double milliseconds) { start_times().push_back(milliseconds); }

}  // namespace driver

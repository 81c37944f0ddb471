// Test fixture: each test starts qx7316.exe afresh, works its panel and, once the program has ended,
// reads the simulator's trace of bus calls.
#pragma once

#include "panel_window.h"
#include "running_program.h"
#include "sim_setup.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace driver {

// Enabled state of the four buttons that follow the link and the output.
struct ButtonStates {
  bool init, output_on, output_off, self_test;
  bool operator==(const ButtonStates& other) const {
    return init == other.init && output_on == other.output_on && output_off == other.output_off &&
           self_test == other.self_test;
  }
};
std::ostream& operator<<(std::ostream& out, const ButtonStates& states);

constexpr ButtonStates kOpenedButtons{true, false, false, false};
constexpr ButtonStates kLinkUpOutputOffButtons{false, true, false, true};
constexpr ButtonStates kLinkUpOutputOnButtons{false, false, true, true};

// The three read-back fields, in the order the program fills them.
struct MonitorTexts {
  std::string function, amplitude, frequency;
  bool operator==(const MonitorTexts& other) const {
    return function == other.function && amplitude == other.amplitude && frequency == other.frequency;
  }
};
std::ostream& operator<<(std::ostream& out, const MonitorTexts& texts);

// The three ways out of the program that an operator has.
enum class WayOut { kExitButton, kEscapeKey, kCloseBox };
std::ostream& operator<<(std::ostream& out, WayOut way);

class PanelSession : public ::testing::Test {
 protected:
  // Starts the program with the simulated instrument set up so and waits for its panel, and until
  // the program has finished opening it.
  const PanelWindow& open_panel(const SimSetup& setup = {});
  const PanelWindow& panel() const { return *panel_; }

  ButtonStates buttons() const;
  MonitorTexts monitors() const;

  // GPIB初期化, ON, OFF: each press waits until the program has handled it.
  void press_init() const;
  void press_output_on() const;
  void press_output_off() const;

  // Leaves the program that way and returns its exit code; throws when it does not end.
  DWORD leave(WayOut way) const;

  // Every bus call of the run so far, one trace line each.
  std::vector<std::string> trace() const;

  void TearDown() override;

 private:
  std::unique_ptr<RunningProgram> program_;
  std::optional<PanelWindow> panel_;
};

}  // namespace driver

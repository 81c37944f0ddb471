#include "panel_session.h"

#include "panel_ids.h"
#include "polling.h"
#include "program_start_times.h"

#include <sstream>
#include <stdexcept>

namespace driver {

std::ostream& operator<<(std::ostream& out, const ButtonStates& states) {
  const auto show = [](bool on) { return on ? "enabled" : "disabled"; };
  return out << "{GPIB初期化 " << show(states.init) << ", ON " << show(states.output_on) << ", OFF "
             << show(states.output_off) << ", SELF TEST " << show(states.self_test) << "}";
}

std::ostream& operator<<(std::ostream& out, const MonitorTexts& texts) {
  return out << "{waveform " << ::testing::PrintToString(texts.function) << ", amplitude "
             << ::testing::PrintToString(texts.amplitude) << ", frequency "
             << ::testing::PrintToString(texts.frequency) << "}";
}

std::ostream& operator<<(std::ostream& out, WayOut way) {
  switch (way) {
    case WayOut::kExitButton: return out << "ExitButton";
    case WayOut::kEscapeKey: return out << "EscapeKey";
    case WayOut::kCloseBox: return out << "CloseBox";
  }
  return out;
}

const PanelWindow& PanelSession::open_panel(const SimSetup& setup) {
  program_ = std::make_unique<RunningProgram>(setup);
  HWND dialog = program_->wait_for_panel();
  record_program_start(program_->start_milliseconds());
  panel_.emplace(dialog, program_->process_id());
  // The panel shows before the program has finished opening it (activation, focus): every check
  // starts once the program waits for input.
  panel_->wait_until_handled();
  return *panel_;
}

ButtonStates PanelSession::buttons() const {
  return {panel_->enabled(panel_id::kInit), panel_->enabled(panel_id::kOutputOn),
          panel_->enabled(panel_id::kOutputOff), panel_->enabled(panel_id::kSelfTest)};
}

MonitorTexts PanelSession::monitors() const {
  return {panel_->text(panel_id::kMonitorFunction), panel_->text(panel_id::kMonitorAmplitude),
          panel_->text(panel_id::kMonitorFrequency)};
}

void PanelSession::press_init() const { panel_->press(panel_id::kInit); }
void PanelSession::press_output_on() const { panel_->press(panel_id::kOutputOn); }
void PanelSession::press_output_off() const { panel_->press(panel_id::kOutputOff); }

DWORD PanelSession::leave(WayOut way) const {
  const int focus_before = panel_->focused_id();
  switch (way) {
    case WayOut::kExitButton: panel_->press_without_waiting(panel_id::kExit); break;
    case WayOut::kEscapeKey: panel_->press_key_without_waiting(VK_ESCAPE); break;
    case WayOut::kCloseBox: panel_->click_close_box(); break;
  }
  // Once everything posted has been handled, an ended dialog is hidden or gone; one still showing
  // did not take the way out. Two rounds, since the close box's WM_CLOSE itself posts the IDCANCEL
  // command, maybe behind the first marker.
  panel_->wait_until_handled();
  panel_->wait_until_handled();
  if (IsWindow(panel_->window()) && IsWindowVisible(panel_->window()) && !program_->has_exited()) {
    std::ostringstream what;
    what << "the panel is still open after " << way << " (";
    if (focus_before == 0) {
      what << "no control had the keyboard focus)";
    } else {
      what << "control " << focus_before << " had the keyboard focus)";
    }
    throw std::runtime_error(what.str());
  }
  const auto code = program_->wait_for_exit(kActionLimit);
  if (!code) throw std::runtime_error("the program did not end");
  return *code;
}

// Lines that start with "# " are the simulator's remarks on its setup, not bus calls.
static bool is_setup_remark(const std::string& line) { return line.rfind("# ", 0) == 0; }

std::vector<std::string> PanelSession::trace() const {
  std::vector<std::string> calls;
  for (auto& line : program_->trace_lines()) {
    if (!is_setup_remark(line)) calls.push_back(std::move(line));
  }
  return calls;
}

void PanelSession::TearDown() {
  // A remark means the simulator did not take the test's setup as meant.
  if (program_) {
    for (const auto& line : program_->trace_lines()) {
      if (is_setup_remark(line)) ADD_FAILURE() << "simulator setup remark: " << line;
    }
  }
  panel_.reset();
  program_.reset();
}

}  // namespace driver

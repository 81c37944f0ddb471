// Every bus call of a whole session failing in turn. The session: bring-up, ON, OFF, ON, SELF TEST,
// leaving by the exit button. Each case makes one call (the n-th of its function) fail with one
// code; the operator repeats a step that reported a failure, as a person at the panel would. After
// every step the status line, the monitor fields and the buttons must be exactly what the state of
// the link and the output says, and leaving must release the instrument once and end with 0.
#include "expected_calls.h"
#include "message_box_window.h"
#include "panel_ids.h"
#include "panel_session.h"
#include "panel_texts.h"

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

namespace driver {
namespace {

enum class Step { kBringUp, kFirstOn, kOff, kSecondOn, kSelfTest, kLeave };

// What a failure of the call does, as the program reports it.
enum class Role {
  kTested,         // bring-up call whose failure ends the bring-up with its own text
  kIgnored,        // result not read
  kSettings,       // the settings write of ON: reported in the status line
  kOffWrite,       // the output-off write: reported in the status line
  kQueryWrite,     // a read-back or self-test query's write: the reply stays empty
  kQueryRead,      // a read-back or self-test read: the reply stays empty
};

struct SessionCall {
  const char* function;
  int nth;           // which call of the function this is in a session without failures
  Step step;
  Role role;
  const char* text;  // the failure text with %d for the code, for tested bring-up calls
  int read_back;     // for read-back queries: 0 waveform, 1 amplitude, 2 frequency; else -1
};

const std::vector<SessionCall>& session_calls() {
  static const std::vector<SessionCall> calls = {
      {"gp_init", 1, Step::kBringUp, Role::kTested, "gp_init() error [%d]\n", -1},
      {"gp_cli", 1, Step::kBringUp, Role::kIgnored, nullptr, -1},
      {"gp_ren", 1, Step::kBringUp, Role::kIgnored, nullptr, -1},
      {"gp_tmout", 1, Step::kBringUp, Role::kTested, "gp_tmout() error [%d]", -1},
      {"gp_clr", 1, Step::kBringUp, Role::kTested, "gp_clr error [%d]\n", -1},
      {"gp_wait", 1, Step::kBringUp, Role::kIgnored, nullptr, -1},
      {"gp_llo", 1, Step::kBringUp, Role::kTested, "gp_llo() error [%d]\n", -1},
      {"gp_wrt", 1, Step::kFirstOn, Role::kSettings, nullptr, -1},
      {"gp_wrt", 2, Step::kFirstOn, Role::kQueryWrite, nullptr, 0},
      {"gp_red", 1, Step::kFirstOn, Role::kQueryRead, nullptr, 0},
      {"gp_wrt", 3, Step::kFirstOn, Role::kQueryWrite, nullptr, 1},
      {"gp_red", 2, Step::kFirstOn, Role::kQueryRead, nullptr, 1},
      {"gp_wrt", 4, Step::kFirstOn, Role::kQueryWrite, nullptr, 2},
      {"gp_red", 3, Step::kFirstOn, Role::kQueryRead, nullptr, 2},
      {"gp_wrt", 5, Step::kOff, Role::kOffWrite, nullptr, -1},
      {"gp_wrt", 6, Step::kSecondOn, Role::kSettings, nullptr, -1},
      {"gp_wrt", 7, Step::kSecondOn, Role::kQueryWrite, nullptr, 0},
      {"gp_red", 4, Step::kSecondOn, Role::kQueryRead, nullptr, 0},
      {"gp_wrt", 8, Step::kSecondOn, Role::kQueryWrite, nullptr, 1},
      {"gp_red", 5, Step::kSecondOn, Role::kQueryRead, nullptr, 1},
      {"gp_wrt", 9, Step::kSecondOn, Role::kQueryWrite, nullptr, 2},
      {"gp_red", 6, Step::kSecondOn, Role::kQueryRead, nullptr, 2},
      {"gp_wrt", 10, Step::kSelfTest, Role::kQueryWrite, nullptr, -1},
      {"gp_red", 7, Step::kSelfTest, Role::kQueryRead, nullptr, -1},
      {"gp_lcl", 1, Step::kLeave, Role::kIgnored, nullptr, -1},
  };
  return calls;
}

const std::vector<long long> codes = {-1, 1, INT_MAX, INT_MIN};

struct FaultCase {
  std::size_t call;   // index into session_calls()
  long long code;
};

void PrintTo(const FaultCase& fault, std::ostream* out) {
  *out << session_calls()[fault.call].function << " call " << session_calls()[fault.call].nth << " returns " << fault.code;
}

std::string case_name(const ::testing::TestParamInfo<FaultCase>& info) {
  const SessionCall& call = session_calls()[info.param.call];
  const long long code = info.param.code;
  return std::string(call.function) + "_" + std::to_string(call.nth) + "_" + (code < 0 ? "minus" : "") +
         std::to_string(code < 0 ? -code : code);
}

// The 64-bit build runs every call with every code. The 32-bit build, whose Wine runs emulated and
// several times slower, runs every call once, with the codes taken in turn.
std::vector<FaultCase> fault_cases() {
  std::vector<FaultCase> cases;
  for (std::size_t i = 0; i < session_calls().size(); ++i) {
    if (sizeof(void*) == 8) {
      for (long long code : codes) cases.push_back({i, code});
    } else {
      cases.push_back({i, codes[i % codes.size()]});
    }
  }
  return cases;
}

std::string with_code(const char* format, long long code) {
  std::string text = format;
  text.replace(text.find("%d"), 2, std::to_string(code));
  return text;
}

const MonitorTexts kNoReadBack{"", "", ""};
const MonitorTexts kReadBack{"SIN\n", "+3.000000E+00\n", "+1.000000E+03\n"};

class FaultMatrix : public PanelSession, public ::testing::WithParamInterface<FaultCase> {
 protected:
  const SessionCall& faulted() const { return session_calls()[GetParam().call]; }
  long long code() const { return GetParam().code; }
  bool faulted_in(Step step) const { return faulted().step == step; }
  std::string write_failure() const { return "gp_wrt() error : " + std::to_string(code()); }

  // The read-back ON shows when the faulted call, if it is in this ON, empties one field.
  MonitorTexts read_back_after(Step on) const {
    MonitorTexts shown = kReadBack;
    if (faulted_in(on) && faulted().read_back >= 0) {
      std::string* field[] = {&shown.function, &shown.amplitude, &shown.frequency};
      *field[faulted().read_back] = "";
    }
    return shown;
  }

  void bring_up() {
    press_init();
    if (faulted_in(Step::kBringUp) && faulted().role == Role::kTested) {
      EXPECT_EQ(panel().text(panel_id::kStatus), with_code(faulted().text, code()));
      EXPECT_EQ(buttons(), kOpenedButtons);
      press_init();
    }
    EXPECT_EQ(panel().text(panel_id::kStatus), panel_text::kInitSucceeded);
    EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  }

  void output_on(Step on) {
    const MonitorTexts before = monitors();
    press_output_on();
    if (faulted_in(on) && faulted().role == Role::kSettings) {
      EXPECT_EQ(panel().text(panel_id::kStatus), write_failure());
      EXPECT_EQ(monitors(), before);
      EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
      press_output_on();
    }
    EXPECT_EQ(panel().text(panel_id::kStatus), "") << "a successful ON leaves the status line empty";
    EXPECT_EQ(monitors(), read_back_after(on));
    EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  }

  void output_off() {
    const std::string status_before = panel().text(panel_id::kStatus);
    const MonitorTexts before = monitors();
    press_output_off();
    std::string status = status_before;
    if (faulted_in(Step::kOff)) {
      status = write_failure();
      EXPECT_EQ(panel().text(panel_id::kStatus), status);
      EXPECT_EQ(monitors(), before);
      EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
      press_output_off();
    }
    EXPECT_EQ(panel().text(panel_id::kStatus), status) << "OFF keeps what the status line showed";
    EXPECT_EQ(monitors(), kNoReadBack);
    EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  }

  void self_test() {
    const std::string status_before = panel().text(panel_id::kStatus);
    const MonitorTexts before = monitors();
    panel().press_without_waiting(panel_id::kSelfTest);
    const MessageBoxWindow box = MessageBoxWindow::wait_for(panel().window());
    const bool ng = faulted_in(Step::kSelfTest);
    EXPECT_EQ(box.text(), ng ? panel_text::kSelfTestNg : panel_text::kSelfTestOk);
    EXPECT_EQ(box.caption(), panel_text::kSelfTestBoxCaption);
    EXPECT_EQ(box.icon(), ng ? "error" : "none");
    box.press_ok();
    panel().wait_until_handled();
    EXPECT_EQ(panel().text(panel_id::kStatus), status_before);
    EXPECT_EQ(monitors(), before);
    EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  }
};

TEST_P(FaultMatrix, ProgramStaysInAStateItCanShow) {
  SimSetup setup;
  setup.faults = std::string(faulted().function) + "#" + std::to_string(faulted().nth) + "=" + std::to_string(code());
  open_panel(setup);

  bring_up();
  output_on(Step::kFirstOn);
  output_off();
  output_on(Step::kSecondOn);
  self_test();
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  // The fault hit the call it was meant for.
  const std::vector<std::string> calls = trace();
  const std::string prefix = std::string(faulted().function) + "(";
  int seen = 0;
  bool hit = false;
  for (const std::string& line : calls) {
    if (line.rfind(prefix, 0) != 0) continue;
    if (++seen == faulted().nth) {
      const std::string result = " = " + std::to_string(code());
      hit = line.size() >= result.size() && line.compare(line.size() - result.size(), result.size(), result) == 0;
      if (!hit) hit = line.find(result + " ") != std::string::npos;   // a read: the reply follows
    }
  }
  EXPECT_TRUE(hit) << "call " << faulted().nth << " of " << faulted().function << " did not fail with " << code()
                   << ": " << ::testing::PrintToString(calls);

  // Released once; the output was left on, as the program never switches it off on the way out.
  int releases = 0, output_off_writes = 0;
  for (const std::string& line : calls) {
    if (line.rfind("gp_lcl(\"\")", 0) == 0) ++releases;
    if (line.find("\":OUTP OFF\")") != std::string::npos) ++output_off_writes;
  }
  EXPECT_EQ(releases, 1);
  EXPECT_EQ(output_off_writes, faulted_in(Step::kOff) ? 2 : 1);
  EXPECT_EQ(calls.back().rfind("gp_lcl(\"\")", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(EveryCallOfASession, FaultMatrix, ::testing::ValuesIn(fault_cases()), case_name);

}  // namespace
}  // namespace driver

namespace driver {
namespace {

using SilentInstrument = PanelSession;

// An instrument that takes every message but never answers: each read waits for the library's
// time-out and fails. The panel goes on as with any failed read, and stays usable.
TEST_F(SilentInstrument, ReadsTimeOutAndThePanelGoesOn) {
  SimSetup setup;
  setup.never_replies = true;
  setup.timeout_ms = "40";   // 5 units: 200 ms a read
  const auto& panel = open_panel(setup);

  press_init();
  EXPECT_EQ(panel.text(panel_id::kStatus), panel_text::kInitSucceeded);
  press_output_on();
  EXPECT_EQ(panel.text(panel_id::kStatus), "");
  EXPECT_EQ(monitors(), kNoReadBack);
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);

  panel.press_without_waiting(panel_id::kSelfTest);
  const MessageBoxWindow box = MessageBoxWindow::wait_for(panel.window());
  EXPECT_EQ(box.text(), panel_text::kSelfTestNg);
  box.press_ok();
  panel.wait_until_handled();

  press_output_off();
  EXPECT_EQ(buttons(), kLinkUpOutputOffButtons);
  press_output_on();
  EXPECT_EQ(buttons(), kLinkUpOutputOnButtons);
  EXPECT_EQ(leave(WayOut::kExitButton), 0u);

  int timed_out_reads = 0;
  for (const std::string& line : trace()) {
    if (line.rfind("gp_red(", 0) == 0) {
      EXPECT_EQ(line, "gp_red(\"4\", 256) = 4 \"\"");
      ++timed_out_reads;
    }
  }
  EXPECT_EQ(timed_out_reads, 7) << "three read-backs, the self test, three read-backs";
}

}  // namespace
}  // namespace driver
